#include "app/Program.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    tavrin::Program program;
    program.window().show();
    return QApplication::exec();
}
