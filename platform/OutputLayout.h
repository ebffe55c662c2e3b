// Where each monitor of a Wayland session lies in the desktop's device pixels.
//
// The compositor places its outputs in logical coordinates, each output showing its logical rectangle
// with its own number of device pixels (a 2x output shows 1280x720 logical pixels with 2560x1440). The
// frozen desktop holds every device pixel of every output, so the logical layout is stretched along
// each axis, stretch by stretch: a stretch of logical coordinates takes the largest scale of the
// outputs over it. With one scale everywhere that is the layout times the scale; with mixed scales
// side by side outputs stay side by side, and no two outputs ever overlap (a smaller scale beside a
// larger one leaves a black strip rather than covering its neighbour). No Wayland header: tests use it
// on its own.
//
// A point on an output is placed by that output's own scale from its own corner, not by the stretched
// axes: outputs of different heights side by side share the horizontal stretches but not their rows
// (a 1.25 output beside a 2x one keeps its rows at 1.25 even where the 2x one stretches the axis). The
// device pixel under a logical point p of an output at scale s is floor((p - corner) * s): the pointer's
// hot spot at p lies in that pixel, and the compositor draws the pointer there. At a fractional scale
// some logical points fall inside a device pixel (1.25: point 1 is device 1.25, pixel 1), and some
// device pixels lie under no whole logical point (1.25: pixel 3, between points 2 = 2.5 and 3 = 3.75).
#pragma once

#include <QList>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

// One output as the compositor describes it.
struct TOutputInfo {
    QString name;      // "HEADLESS-1", "DP-2"
    QRect logical;     // position and size in the compositor's layout
    QSize device;      // pixels of its picture (the current mode, turned as the output is)
    int transform = 0; // how the compositor turns the output's own pixels to show them (wl_output.transform)
};

struct TOutputPlace {
    TOutputInfo info;
    QRect device; // where its pixels go in the desktop's device pixels
};

class TOutputLayout {
  public:
    TOutputLayout() = default;
    explicit TOutputLayout(std::vector<TOutputInfo> outputs);

    const std::vector<TOutputPlace>& Places() const { return places_; }
    QList<QRect> Monitors() const;
    QRect Bounds() const;
    // A logical point or rectangle in device pixels (a window's frame, the pointer): by the output it
    // lies on (a rectangle: the output of its first pixel), else by the stretched axes.
    QPointF DeviceFromLogical(const QPointF& logical) const;
    QRect DeviceFromLogical(const QRect& logical) const;
    // The device pixel under a logical point (the pointer's hot spot there).
    QPoint DevicePixelAt(const QPointF& logical) const;

  private:
    // One axis: logical edges and their device coordinates, ascending.
    struct TAxis {
        std::vector<int> logical;
        std::vector<double> device;
        double Map(double v) const;
    };
    static TAxis MakeAxis(const std::vector<TOutputInfo>& outputs, bool horizontal);
    const TOutputPlace* PlaceOf(const QPointF& logical) const;
    QPointF Map(const QPointF& logical, const TOutputPlace* by) const;

    std::vector<TOutputPlace> places_;
    TAxis x_, y_;
};
