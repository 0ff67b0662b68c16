// The floor of the stack for the launch benchmark's memory rows: a Qt window with a text box
// showing lyrics and a few labels, and a GStreamer playbin playing the song given. Nothing of
// the player; what this costs, every Qt and GStreamer player costs.

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <gst/gst.h>

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    gst_init(nullptr, nullptr);
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    gchar* uri = gst_filename_to_uri(argv[1], nullptr);
    if (!playbin || !uri) return 1;
    g_object_set(playbin, "uri", uri, nullptr);
    g_free(uri);
    gst_element_set_state(playbin, GST_STATE_PLAYING);
    QApplication app(argc, argv);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* text = new QPlainTextEdit;
    text->setPlainText(QStringLiteral("First line of the song\nSecond line of the song"));
    layout->addWidget(text);
    layout->addWidget(new QLabel(QStringLiteral("0:01")));
    layout->addWidget(new QLabel(QStringLiteral("status")));
    window.resize(367, 457);
    window.show();
    const int result = app.exec();
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);
    return result;
}
