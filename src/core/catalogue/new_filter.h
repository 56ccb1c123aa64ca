#pragma once

// The rules of the new-filter form: the types offered, the fields each type uses, validation,
// the pending entry built from the form, and writing pending entries to the catalogue.

#include "core/db/result.h"
#include "core/placement/wheels.h"

#include <QStringList>
#include <array>
#include <optional>
#include <vector>

class Database;

namespace catalogue {

// The texts of the entry form.
struct FilterForm {
    QString name, code, summary, lower, center, upper, opaque, cutOff, producer, type;
};

// One applied entry, by position: name, series number, summary, lower, center and upper
// wavelength, opaque-for value, producer, filter type.
struct PendingFilterEntry {
    enum Field { Name, Code, Summary, Lower, Center, Upper, Opaque, Producer, Type, FieldCount };
    std::array<QString, FieldCount> values;

    const QString& operator[](Field field) const { return values[field]; }
    QString& operator[](Field field) { return values[field]; }
};

// Items the list shows: name and summary.
struct ListItem {
    QString name;
    QString summary;
};

// The type list of the form for a catalogue mode and the wheel last chosen in it.
QStringList offeredTypes(int mode, int wheel);

// What a type does to each group of value fields (with their labels).
enum class FieldState { Keep, Enable, Disable, Clear }; // Clear: disable and empty
struct FieldSet {
    FieldState band = FieldState::Keep; // Lower, Center, Upper
    FieldState cutOff = FieldState::Keep;
    FieldState opaque = FieldState::Keep;
};
FieldSet fieldSetOf(int mode, const QString& type);

// A wavelength as typed: blanks, an optional sign, digits and an optional "." fraction. The
// result is the value rounded to a whole number; *failure says why a text is not one.
std::optional<qint32> parseWavelength(const QString& text, QString* failure);

// The first failing check's message, or none when the entry may be applied. Reads the catalogue.
std::optional<QString> ValidateNewFilter(const Database& db, const FilterForm& form,
                                         const std::vector<ListItem>& list,
                                         const std::vector<PendingFilterEntry>& pending, Result* error);

// The entry for the form; a form without type (filter cubes) takes it from the cube wheel.
PendingFilterEntry buildPendingEntry(const FilterForm& form, int selectedCubeWheel);

// Adds a catalogue row per entry, all in one transaction.
bool storePendingFilters(Database& db, const std::vector<PendingFilterEntry>& entries, Result* error);

// Adds "Customer Added" and "Producer" to a catalogue of an older layout.
bool ensureCustomerAddedField(Database& db, Result* error);
std::optional<std::vector<ListItem>> customerAddedItems(const Database& db, Result* error);
// The first catalogue row of the name as an entry (wavelengths as text, Null as empty).
std::optional<PendingFilterEntry> catalogueEntry(const Database& db, const QString& name, Result* error);

} // namespace catalogue
