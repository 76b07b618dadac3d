// lumenvex: the converter window.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/converter_window.h"
#include "app/qt/qt_toolkit.h"

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

int main(int argc, char** argv) {
    // Without a display Qt would abort with a message about platform plugins; say what to do.
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "lumenvex: the window needs a graphical display (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set); to convert images without one, use the "
                     "torvenquill command: torvenquill SOURCE TARGET\n");
        return 2;
    }
    QApplication application(argc, argv);
    QtToolkit toolkit;
    ConverterWindow window(toolkit);
    return window.StartProgram();
}
