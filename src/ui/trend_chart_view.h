#pragma once
// The chart view of the tab "Тренды": the mouse wheel zooms the time axis
// around the pointer, a rectangle drawn with the left button zooms into it,
// the right button zooms out. Each zoom by the user is announced, so that
// the tab stops following the polls.

#include <QChartView>

class TTrendChartView : public QChartView {
    Q_OBJECT
public:
    explicit TTrendChartView(QChart* chart, QWidget* parent = nullptr);

    // Zooms the time axis by `factor` (below 1 zooms in) around the point
    // `x` of the plot area (in view coordinates).
    void ZoomTime(double factor, double x);

signals:
    // The user zoomed; `valuesToo` when the value axes were set as well.
    void UserZoomed(bool valuesToo);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointF pressedAt_;
};
