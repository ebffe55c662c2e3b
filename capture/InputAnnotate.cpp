// The overlay's annotation handlers: tools and colours, the text box and its input method, moving and
// deleting placed annotations, undo and redo.
#include "Input.h"

#include "AnnotationTools.h"
#include "OverlayDrags.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>

#include <algorithm>

namespace {
bool IsHighSurrogateEnd(const QString& t) {
    return t.size() >= 2 && t.back().isLowSurrogate() && t.at(t.size() - 2).isHighSurrogate();
}
} // namespace

void TInputForm::SetTool(TToolKind tool) {
    if (CurrentTool == tool) return;
    CurrentTool = LastOverlayTool = tool;
    InvalidateClient(Strip.Rect());
}

void TInputForm::SetColour(int index) {
    index = std::clamp(index, 1, PaletteSize);
    if (CurrentColour == index) return;
    CurrentColour = LastOverlayColour = index;
    InvalidateClient(Strip.Rect());
}

void TInputForm::PlaceStrip() {
    const QRect image(0, 0, DesktopImage.Width(), DesktopImage.Height());
    QRect monitor = image;
    QPoint screen;
    const bool havePointer = GetCursorPos && GetCursorPos(screen);
    const QPoint p = screen + ScreenToImage;
    const QList<QRect> monitors = Monitors ? Monitors() : QList<QRect>{};
    for (int i = 0; i < monitors.size(); ++i) {
        const QRect m = monitors[i].translated(ScreenToImage) & image;
        if (m.isEmpty()) continue;
        if (i == 0 || (havePointer && m.contains(p))) monitor = m;
        if (havePointer && m.contains(p)) break;
    }
    Strip.Place(monitor, HelpCardRect);
}

bool TInputForm::AnnotationKey(int key, Qt::KeyboardModifiers shift) {
    const bool ctrl = shift & Qt::ControlModifier;
    if (ctrl && key == Qt::Key_Z) {
        if (shift & Qt::ShiftModifier)
            RedoInk();
        else
            UndoInk();
        return true;
    }
    if (ctrl && key == Qt::Key_Y) {
        RedoInk();
        return true;
    }
    if (ctrl || (shift & (Qt::AltModifier | Qt::MetaModifier | Qt::KeypadModifier))) return false;
    if (const std::optional<TToolKind> tool = ToolForKey(key)) {
        SetTool(*tool);
        return true;
    }
    if (key >= Qt::Key_1 && key < Qt::Key_1 + PaletteSize) {
        SetColour(key - Qt::Key_0);
        return true;
    }
    if (key == Qt::Key_D) {
        QPoint screen;
        if (!ZoomedView() && GetCursorPos && GetCursorPos(screen)) {
            const QPoint c = ClientFromScreen(screen);
            DeleteAnnotationAt(c.x(), c.y());
        }
        return true;
    }
    return false;
}

// --- placed annotations -----------------------------------------------------------------------------

int TInputForm::AnnotationAt(int x, int y) {
    const TPointD q{x + 0.5, y + 0.5};
    std::lock_guard<std::mutex> lock(ShapeLock);
    for (size_t i = Shapes.size(); i-- > 1;)
        if (!Shapes[i].Points.empty() && ToolOf(Shapes[i]).Hit(Shapes[i], q, PenWidth.load())) return int(i);
    return -1;
}

namespace {
QRect Area(const CaptureShape& s) {
    return s.Bounds.IsSet() ? s.Bounds.ToRect() : QRect();
}
} // namespace

QRect TInputForm::ChangedArea(const CaptureShape& s) const {
    QRect area = Area(s);
    if (!ToolOf(s).Covers()) return area;
    // A redaction's blocks come from around it: changing one changes what the others next to it show.
    for (const QRect& r : CoveredBoxes(Shapes, QPoint(0, 0)))
        area |= r.adjusted(-1, -1, 1, 1);
    return area;
}

void TInputForm::DeleteAnnotationAt(int x, int y) {
    if (drag_) return;
    const int index = AnnotationAt(x, y);
    if (index < 1) return;
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        dirty = ChangedArea(Shapes[size_t(index)]);
        CaptureShape shape = std::move(Shapes[size_t(index)]);
        Shapes.erase(Shapes.begin() + index);
        history_.Removed(size_t(index), std::move(shape));
    }
    InvalidateClient(dirty);
}

void TInputForm::StartMove(int x, int y) {
    const int index = AnnotationAt(x, y);
    if (index >= 1) drag_ = std::make_unique<TMoveDrag>(*this, index, QPoint(x, y));
}

// --- drawing with a tool ------------------------------------------------------------------------------

void TInputForm::UpdateBounds(CaptureShape& s, size_t index) {
    const bool open = int(index) == TextShape;
    CaptureShape shown;
    const CaptureShape* measured = &s;
    if (open && !Preedit.isEmpty()) {
        shown = s;
        shown.Text += Preedit;
        measured = &shown;
    }
    QRect r = ToolOf(s).Bounds(*measured, PenWidth.load());
    if (open) {
        const auto [top, bottom] = TTextTool::Caret(*measured);
        caret_ = QRect(QPoint(int(top.x) - 2, int(top.y) - 2), QPoint(int(bottom.x) + 2, int(bottom.y) + 2));
        r |= caret_;
    }
    r &= QRect(0, 0, DesktopImage.Width(), DesktopImage.Height());
    s.Bounds = r.isEmpty() ? TShapeBounds{} : TShapeBounds::FromRect(r);
}

QRect TInputForm::GrowAnnotation(CaptureShape& s, int x, int y, bool constrain) {
    QRect dirty = ChangedArea(s);
    ToolOf(s).Grow(s, TPointD{x + 0.5, y + 0.5}, constrain);
    UpdateBounds(s, size_t(ActiveShape));
    return dirty | ChangedArea(s);
}

void TInputForm::WidenActiveShape(float width) {
    std::lock_guard<std::mutex> lock(ShapeLock);
    const int index = TextBoxOpen() ? TextShape : (DragMode() == dmInk ? ActiveShape : -1);
    if (index < 1 || size_t(index) >= Shapes.size() || Shapes[size_t(index)].Tool == TToolKind::Pen) return;
    Shapes[size_t(index)].Width = width;
    UpdateBounds(Shapes[size_t(index)], size_t(index));
}

void TInputForm::DropEmptyShape() {
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (ActiveShape < 1 || size_t(ActiveShape) >= Shapes.size()) return;
        const CaptureShape& s = Shapes[size_t(ActiveShape)];
        if (s.Tool == TToolKind::Pen || s.Tool == TToolKind::Text || !ToolOf(s).Empty(s)) return;
        dirty = Area(s);
        Shapes.erase(Shapes.begin() + ActiveShape);
        history_.Forget();
        ActiveShape = -1;
    }
    InvalidateClient(dirty);
}

// --- the text box ---------------------------------------------------------------------------------------

void TInputForm::OpenTextBox(size_t index) {
    TextShape = int(index);
    Preedit.clear();
    setAttribute(Qt::WA_InputMethodEnabled, true);
    for (const TOverlayView& v : views_)
        if (v.window) v.window->setAttribute(Qt::WA_InputMethodEnabled, true);
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (index >= Shapes.size()) return;
        UpdateBounds(Shapes[index], index);
        dirty = Area(Shapes[index]);
    }
    InvalidateClient(dirty);
    if (QInputMethod* im = QGuiApplication::inputMethod()) im->update(Qt::ImEnabled | Qt::ImCursorRectangle);
}

void TInputForm::CloseTextBox() {
    if (!TextBoxOpen()) return;
    if (QInputMethod* im = QGuiApplication::inputMethod()) im->reset();
    const size_t index = size_t(TextShape);
    TextShape = -1;
    Preedit.clear();
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (index < Shapes.size()) {
            dirty = Area(Shapes[index]);
            if (Shapes[index].Text.isEmpty()) {
                Shapes.erase(Shapes.begin() + ptrdiff_t(index));
                history_.Forget();
                if (ActiveShape >= int32_t(index)) ActiveShape = -1;
            } else {
                UpdateBounds(Shapes[index], index);
            }
        }
    }
    InvalidateClient(dirty);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    for (const TOverlayView& v : views_)
        if (v.window) v.window->setAttribute(Qt::WA_InputMethodEnabled, false);
    if (QInputMethod* im = QGuiApplication::inputMethod()) im->update(Qt::ImEnabled);
}

void TInputForm::TextChanged(const std::function<void(QString&)>& edit) {
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (!TextBoxOpen() || size_t(TextShape) >= Shapes.size()) return;
        CaptureShape& s = Shapes[size_t(TextShape)];
        dirty = Area(s);
        edit(s.Text);
        UpdateBounds(s, size_t(TextShape));
        dirty |= Area(s);
    }
    InvalidateClient(dirty);
    if (QInputMethod* im = QGuiApplication::inputMethod()) im->update(Qt::ImCursorRectangle);
}

void TInputForm::TextKey(int key, Qt::KeyboardModifiers shift, const QString& text) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (shift & Qt::ShiftModifier)
            TextChanged([](QString& t) { t += QLatin1Char('\n'); });
        else
            CloseTextBox();
        return;
    case Qt::Key_Escape:
        CloseTextBox();
        return;
    case Qt::Key_Backspace:
        TextChanged([](QString& t) { t.chop(IsHighSurrogateEnd(t) ? 2 : 1); });
        return;
    default:
        break;
    }
    if (shift & (Qt::ControlModifier | Qt::MetaModifier)) return;
    QString typed;
    for (const QChar c : text)
        if (c.isPrint() || c.isSurrogate()) typed += c;
    if (!typed.isEmpty()) TextChanged([&typed](QString& t) { t += typed; });
}

void TInputForm::inputMethodEvent(QInputMethodEvent* e) {
    if (!TextBoxOpen()) {
        e->ignore();
        return;
    }
    const QString commit = e->commitString(), preedit = e->preeditString();
    TextChanged([&](QString& t) {
        t += commit;
        Preedit = preedit;
    });
    e->accept();
}

QVariant TInputForm::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
    case Qt::ImEnabled:
        return TextBoxOpen();
    case Qt::ImCursorRectangle: {
        // The caret in the form's own (logical) coordinates: the input method puts its candidates there.
        const QPoint origin = views_.empty() ? QPoint(0, 0) : views_.front().origin;
        const QRect c = caret_.translated(-origin);
        return QRect(int(c.left() / scale_), int(c.top() / scale_), int(c.width() / scale_) + 1,
                     int(c.height() / scale_) + 1);
    }
    case Qt::ImHints:
        return int(Qt::ImhMultiLine | Qt::ImhNoPredictiveText);
    default:
        return TWPForm::inputMethodQuery(query);
    }
}
