// A program that holds one hotkey on the X display it is started on: prints "registered <id>"
// or "refused" for the text in its first argument, then "pressed <value>" for every press,
// until it is ended.

#include "app/core/HotKeyManager.h"

#include <QGuiApplication>
#include <cstdio>

using namespace larkspur;

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    THotKeyManager hkmng(makeX11HotKeyBackend(x11 ? x11->connection() : nullptr));
    QObject::connect(&hkmng, &THotKeyManager::OnHotKeyPressed, [](quint32 hotKey, quint16) {
        std::printf("pressed %u\n", hotKey);
        std::fflush(stdout);
    });
    const std::uint16_t id = hkmng.RegisterKey(ParseHotKey(QString::fromLocal8Bit(argv[1]), false));
    if (id)
        std::printf("registered %u\n", id);
    else
        std::printf("refused\n");
    std::fflush(stdout);
    return app.exec();
}
