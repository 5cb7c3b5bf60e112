// The yardstick of the footprint benchmark: the least a Qt 6 Widgets program of the lamp's size costs.
// A frameless 70 x 180 window that paints once and then only waits.
#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {

class CBareWindow final : public QWidget
{
public:
    CBareWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(70, 180);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::black); }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    CBareWindow window;
    window.show();
    return app.exec();
}
