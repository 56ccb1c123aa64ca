#include "core/placement/installation.h"

WheelBoard WheelBoard::design() {
    WheelBoard board;
    board.modeEnabled.fill(true);
    for (const wheels::WheelButton& wheel : wheels::table())
        board.buttons[wheel.button] = {false, wheel.shownAtStart, QString::fromLatin1(wheel.caption)};
    return board;
}

std::vector<Installation::Wheel> Installation::installedWheels() const {
    std::vector<Wheel> installed;
    for (size_t button = 0; button < placement.WheelFilters.size(); ++button) {
        if (!placement.WheelFilters[button] || !board.buttons[button].enabled)
            continue;
        const QString& set = placement.WheelAvailableIds.value(int(button));
        const QStringList types = button < placement.WheelTypes.size()
                                      ? placement.WheelTypes[button].value_or(QStringList())
                                      : QStringList();
        const std::vector<PlacementRow> rows =
            button < placement.WheelRows.size() ? placement.WheelRows[button] : std::vector<PlacementRow>();
        installed.push_back({int(button), set, wheels::wheelNumber(set).value_or(0),
                             wheels::groupOfWheel(int(button)), *placement.WheelFilters[button], types,
                             rows});
    }
    return installed;
}
