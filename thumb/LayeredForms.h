// Animated showing and hiding of layered windows.
//
// A TLayeredFormEx fades, blurs and zooms (or tilts) while it appears and disappears. The state is
// one progress value, 0 fully shown and 1 fully hidden, moved by AnimTick(elapsed ms) at a
// velocity whose sign says the direction; reversing mid-way only flips the velocity. By default
// every animating form is driven by one process-wide shared timer (24 ms, no-overflow), each tick
// worth Interval x (MissedTicks + 1) ms, so the animation keeps its duration under load.
//
// What a frame looks like is a function of the progress and the surface (ComputeAnimFrame), and
// RenderAnimFrame applies it to a painted surface; neither needs a window.
#pragma once

#include "QuickTimers.h"
#include "WPControl.h"

#include <array>

// One frame of the show/hide animation for a progress p in (0, 1).
struct TAnimFrame {
    int alphaScale = 256;    // 0..256, multiplies the window's constant alpha
    bool transform = false;  // false: the surface stays as painted
    int c = 0, d = 1, e = 1; // box-filter anchor, kernel size (d x d), border of the temporary
    QSize temporary;         // surface grown by e on every side
    bool zoom = false;       // styles 1, 2
    double scale = 1;
    QPointF centre;                      // in the temporary's coordinates
    bool tilt = false;                   // styles 3, 4
    std::array<QPointF, 4> sourceQuad{}; // top-left, top-right, bottom-right, bottom-left
    std::array<QPointF, 4> destQuad{};
};

// Style 0 fades only; 1 blurs, zooms out and fades; 2 likewise with an exponential fade; 3 and 4
// tilt away (top edge, bottom edge first). Other styles behave as 1.
TAnimFrame ComputeAnimFrame(double progress, int style, QSize surface, const QMargins& shadowMargins,
                            QPointF zoomCentreOffset);
// Blurs and transforms the painted surface in place; scratch is reused between frames.
void RenderAnimFrame(TDIB& surface, TDIB& scratch, const TAnimFrame& frame);

class TLayeredFormEx : public TLayeredForm {
  public:
    explicit TLayeredFormEx(QWidget* parent = nullptr);
    ~TLayeredFormEx() override;

    float AnimProgress = 0; // 0 shown .. 1 hidden
    float AnimVelocity = 0; // per ms; negative while showing
    float AnimSpeed = 1;
    int AnimStyle = 1;
    QPointF ZoomCentreOffset;
    bool Animating = false;
    // The form calls AnimTick from its own timer instead of the shared one.
    bool OwnAnimDriver = false;

    // True when shown or becoming shown. A fade-out counts as hidden from its start, also before
    // its first step has moved the progress away from 0.
    bool VisibleAnim() const { return Animating ? AnimVelocity < 0 : AnimProgress == 0; }
    // Starts showing (from hidden, or from where a fade-out is) or hiding; a hiding window lets
    // clicks through at once and is closed when the fade ends.
    void SetVisibleAnim(bool visible);
    void AnimTick(double elapsedMs);

    // A hiding window is click-through.
    bool AcceptsMouse() const override;

    // The shared animation timer, made on first use.
    static TQuickSharedTimer& AnimTimer();
    // Re-times the shared timer for every form (24 ms unless changed).
    static void SetAnimInterval(int ms);

  protected:
    void Paint() override;

  private:
    static void AnimDriver(void* form);
    void StopDriver();
    TDIB scratch_;
};
