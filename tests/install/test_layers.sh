#!/usr/bin/env bash
# The layers' arrows point down: apps -> gui, cli -> plot -> core. Checked in the sources' includes
# and in what the core and command-line tests link.
set -u
build=$1
src=$2/src
fail() { echo "test_layers: $*"; exit 1; }

grep -rn '#include "\(gui\|cli\|apps\|plot\)/' "$src/core" && fail "the core includes a layer above it"
grep -rn '#include "\(gui\|cli\|apps\)/' "$src/plot" && fail "the drawings include the windows, filterctl or an entry"
grep -rn '#include "\(gui\|apps\)/' "$src/cli" && fail "filterctl's library includes the windows or an entry"
grep -rn '#include "apps/' "$src/gui" && fail "a window includes an executable's entry"
grep -rln '#include "gui/mainwindow/' "$src/gui" | grep -v '/mainwindow/' && fail "a window includes the main window"
grep -rn '#include <Q\(Widget\|Dialog\|ComboBox\|Label\|PushButton\|MessageBox\|Application\)>' "$src/core" "$src/cli" "$src/plot" &&
    fail "the core, the drawings or filterctl's library use a widget"
if command -v ldd >/dev/null; then
    for test in test_database test_loader test_session test_new_filter test_workbooks test_placement_plans test_filterctl; do
        ldd "$build/tests/$test" | grep -q 'libQt6Widgets' && fail "$test links the widget library"
    done
    ldd "$build/bin/filterctl" | grep -q 'libQt6Widgets' && fail "filterctl links the widget library"
fi
echo "the layers hold"
