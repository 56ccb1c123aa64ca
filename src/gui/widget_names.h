#pragma once

// The names scripts and screen readers find each window's widgets by, and the captions users read,
// exactly as the windows have always had them; one table a window. The widgets of an array take
// their index after an underscore (indexed(WheelButton, 5) is "CmdNr_5").

#include <QString>
#include <array>

namespace names {

inline QString indexed(const QString& name, int index) {
    return name + QLatin1Char('_') + QString::number(index);
}

// The main window.
namespace mainWindow {
inline const QString Window = QStringLiteral("FilterControlForm");
inline const QString Title = QStringLiteral("Emission Filter & Beam Splitter Control");
inline const QString DatabaseCaption = QStringLiteral("System Database");
inline const QString Database = QStringLiteral("Database");
inline const QString DatabaseAtStart = QStringLiteral("System_Configurations.sqlite");
inline const QString Browse = QStringLiteral("Browse");
inline const QString Stand = QStringLiteral("Stativ");
inline const QString StatusLine = QStringLiteral("StatusLine");
inline const QString ModeButton = QStringLiteral("RbMode");
inline const QString ExcelFile = QStringLiteral("ExcelFile");
inline const QString CmdFile = QStringLiteral("CmdFile");
inline const QString History = QStringLiteral("History");
inline const QString CmdHistory = QStringLiteral("CmdHistory");
inline const QString Close = QStringLiteral("Close");
inline const QString CmdClose = QStringLiteral("CmdClose");
inline const QString LightPath = QStringLiteral("Light Path");
inline const QString CmdLightPath = QStringLiteral("CmdLightPath");
inline const QString ModeFrame = QStringLiteral("ModeFrame");
inline const QString Config = QStringLiteral("Config");
inline const QString WheelColumn = QStringLiteral("Filter-Wheel No.");
inline const QString PositionColumn = QStringLiteral("Position");
inline const QString WheelButton = QStringLiteral("CmdNr");
inline const QString Store = QStringLiteral("Store");
inline const QString CmdStore = QStringLiteral("CmdStore");
inline const QString EditList = QStringLiteral("Edit Filter List");
inline const QString CmdEdit = QStringLiteral("CmdEdit");
inline const QString PositionFrame = QStringLiteral("FrmObjective");
inline const QString PositionLabel = QStringLiteral("LbPosition");
inline const QString FilterChoice = QStringLiteral("CmbFilter");
inline const QString CodeChoice = QStringLiteral("CmbIDPotential");
inline const QString ChangeMark = QStringLiteral("Changed");
} // namespace mainWindow

// The favourite-filter window.
namespace favouritesWindow {
inline const QString Window = QStringLiteral("SalesFilters");
inline const QString Title = QStringLiteral("Edit Filter/Beam Splitter List");
inline const QString SalesList = QStringLiteral("SalesList");
inline const QString Potential = QStringLiteral("Potential");
inline const QString ObName = QStringLiteral("ObName");
inline const QString FilterNameCaption = QStringLiteral("Filtername");
inline const QString SummaryCaption = QStringLiteral("Summary");
inline const QString CmdApply = QStringLiteral("CmdApply");
inline const QString Apply = QStringLiteral("Apply");
inline const QString CmdRemove = QStringLiteral("CmdRemove");
inline const QString Remove = QStringLiteral("Remove");
inline const QString CmdAddNew = QStringLiteral("CmdAddNew");
inline const QString AddNew = QStringLiteral("Add New");
inline const QString CmdClose = QStringLiteral("CmdClose");
inline const QString Close = QStringLiteral("Close");
} // namespace favouritesWindow

// The new-filter window.
namespace newFilterWindow {
inline const QString Window = QStringLiteral("NewFilters");
inline const QString Title = QStringLiteral("Add New Filter/Beam Splitter");
inline const QString DescriptionFrame = QStringLiteral("Frame1");
inline const QString FilterName = QStringLiteral("FilterName");
inline const QString Code = QStringLiteral("Code");
inline const QString Summary = QStringLiteral("Summary");
inline const QString CmbType = QStringLiteral("CmbType");
inline const QString Lower = QStringLiteral("Lower");
inline const QString Center = QStringLiteral("Center");
inline const QString Upper = QStringLiteral("Upper");
inline const QString Opaque = QStringLiteral("Opaque");
inline const QString CutOff = QStringLiteral("Cut_Off");
inline const QString Producer = QStringLiteral("Producer");
inline const QString ProducerCheck = QStringLiteral("Check1");
inline const QString NonVeltrano = QStringLiteral("Non Veltrano");
inline const QString TypeLabel = QStringLiteral("Label14");
inline const QString TypeCaption = QStringLiteral("Type");
inline const QString LowerLabel = QStringLiteral("Label3");
inline const QString LowerCaption = QStringLiteral("Lower Wavelength");
inline const QString CenterLabel = QStringLiteral("Label4");
inline const QString CenterCaption = QStringLiteral("Center Wavelength");
inline const QString UpperLabel = QStringLiteral("Label5");
inline const QString UpperCaption = QStringLiteral("Upper Wavelength");
inline const QString OpaqueLabel = QStringLiteral("Label6");
inline const QString OpaqueCaption = QStringLiteral("Opaque for");
inline const QString CutOffLabel = QStringLiteral("Label7");
inline const QString CutOffCaption = QStringLiteral("Cut Off Wavelength");
inline const QString NameCaption = QStringLiteral("Name");
inline const QString CodeCaption = QStringLiteral("Series Number");
inline const QString CmdApply = QStringLiteral("CmdApply");
inline const QString Apply = QStringLiteral("Apply");
inline const QString CmdReset = QStringLiteral("CmdReset");
inline const QString Clear = QStringLiteral("Clear");
inline const QString CmdImport = QStringLiteral("CmdImport");
inline const QString Import = QStringLiteral("Import");
inline const QString CmdSpectrum = QStringLiteral("CmdSpectrum"); // service mode: a measured curve
inline const QString Spectrum = QStringLiteral("Spectrum...");
inline const QString ListFrame = QStringLiteral("Frame2");
inline const QString CustomerList = QStringLiteral("LVObj");
inline const QString CmdDel = QStringLiteral("CmdDel");
inline const QString Remove = QStringLiteral("Remove");
inline const QString CmdClose = QStringLiteral("CmdClose");
inline const QString Close = QStringLiteral("Close");
// The two frames' titles, by catalogue mode.
inline const std::array<QString, 3> DescriptionTitles{{QStringLiteral("Emission Filter Description"),
                                                       QStringLiteral("Filter Cubes Stand Description"),
                                                       QStringLiteral("Beam Splitters Corvid Description")}};
inline const std::array<QString, 3> ListTitles{{QStringLiteral("New Emission Filters"),
                                                QStringLiteral("New Filter Cubes Stand"),
                                                QStringLiteral("New Beam Splitters Corvid")}};
} // namespace newFilterWindow

// The filter sheet import window.
namespace importWindow {
inline const QString Window = QStringLiteral("ImportFilter");
inline const QString Title = QStringLiteral("Import new filter");
inline const QString ImportFile = QStringLiteral("ImportFile");
inline const QString Browse = QStringLiteral("Browse");
inline const QString CmbFilter = QStringLiteral("CmbFilter");
inline const QString CmdClose = QStringLiteral("CmdClose");
inline const QString Close = QStringLiteral("Close");
} // namespace importWindow

// The configurations window.
namespace packageWindow {
inline const QString Window = QStringLiteral("FormExcel");
inline const QString Title = QStringLiteral("Other Filter Configurations");
inline const QString ExcelFile = QStringLiteral("ExcelFile");
inline const QString Browse = QStringLiteral("Browse");
inline const QString CmbPaket = QStringLiteral("CmbPaket");
inline const QString IDAvailable = QStringLiteral("IDAvailable");
inline const QString ModeFrame = QStringLiteral("ModeFrame");
inline const QString PositionFrame = QStringLiteral("FrmObjective");
inline const QString PositionLabel = QStringLiteral("LbPosition");
inline const QString FilterName = QStringLiteral("FilterName");
inline const QString IDPotential = QStringLiteral("IDPotential");
inline const QString Preview = QStringLiteral("Preview");
inline const QString PreviewCount = QStringLiteral("PreviewCount");
inline const QString LStore = QStringLiteral("LStore");
inline const QString Unstored = QStringLiteral("unstored");
inline const QString CmdStore = QStringLiteral("CmdStore");
inline const QString Store = QStringLiteral("Store");
inline const QString CmdClose = QStringLiteral("CmdClose");
inline const QString Close = QStringLiteral("Close");
} // namespace packageWindow

} // namespace names
