// The floor of the start-up benchmark: a Qt Widgets program that shows an
// empty QMainWindow and reports it the way the console's close-after-show
// check does (after the first paint, on standard error), then closes.

#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

namespace {

class ReportFirstPaint : public QObject
{
public:
    explicit ReportFirstPaint(QMainWindow &window)
        : m_window(window)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_window && event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            QTimer::singleShot(0, &m_window, [this] {
                std::fprintf(stderr, "main window shown: %s (visible, painted)\n", qPrintable(m_window.windowTitle()));
                std::fflush(stderr);
                m_window.close();
            });
        }
        return false;
    }

private:
    QMainWindow &m_window;
    bool m_done = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.resize(1100, 720);
    ReportFirstPaint report(window);
    window.show();
    return app.exec();
}
