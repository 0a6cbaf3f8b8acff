// The peer of the start-up benchmark: a bare Qt Widgets program that shows one dialog.
#include <QApplication>
#include <QDialog>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Veltrix"));
    dialog.resize(281, 119);
    dialog.show();
    return QApplication::exec();
}
