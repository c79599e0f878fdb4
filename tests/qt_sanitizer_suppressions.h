#pragma once
// Sanitizer suppressions for Qt widget test programs; include in exactly one file of each.
// The font library keeps its configuration cache until the process ends; not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
// Qt is not built with the thread sanitizer: its event queue and thread pool synchronise with
// futex-based locks the sanitizer cannot see, so accesses inside Qt look unordered.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n";
}
