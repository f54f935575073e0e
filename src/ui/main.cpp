#include "Leafmark.h"
#include "run/WorkerConverter.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    WorkerConverter converter;
    Leafmark window(converter, converter);
    if (!window.load())
        return 1;
    window.show();
    return app.exec();
}
