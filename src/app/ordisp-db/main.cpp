#include "DbTool.h"
#include "Startup.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    const ordisp::DbToolStreams io{&out, &err, &in};
    return ordisp::RunDbTool(app.arguments().mid(1), io, ordisp::DefaultConfigFolder(),
                             QCoreApplication::applicationDirPath());
}
