#include "Annotation.h"

#include "AnnotationTools.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

// Labels are the program's texts; QT_TRANSLATE_NOOP lets the catalogue find them.
constexpr TToolInfo ToolTable[ToolCount] = {
    {TToolKind::Pen, Qt::Key_P, "pen", QT_TRANSLATE_NOOP("Annotation", "画笔")},
    {TToolKind::Arrow, Qt::Key_A, "arrow", QT_TRANSLATE_NOOP("Annotation", "箭头")},
    {TToolKind::Line, Qt::Key_L, "line", QT_TRANSLATE_NOOP("Annotation", "直线")},
    {TToolKind::Rectangle, Qt::Key_R, "rectangle", QT_TRANSLATE_NOOP("Annotation", "矩形")},
    {TToolKind::Ellipse, Qt::Key_E, "ellipse", QT_TRANSLATE_NOOP("Annotation", "椭圆")},
    {TToolKind::Text, Qt::Key_T, "text", QT_TRANSLATE_NOOP("Annotation", "文字")},
    {TToolKind::Step, Qt::Key_N, "step", QT_TRANSLATE_NOOP("Annotation", "步骤编号")},
    {TToolKind::Marker, Qt::Key_M, "marker", QT_TRANSLATE_NOOP("Annotation", "荧光笔")},
    {TToolKind::Pixelate, Qt::Key_B, "pixelate", QT_TRANSLATE_NOOP("Annotation", "马赛克")},
    {TToolKind::Redact, Qt::Key_X, "redact", QT_TRANSLATE_NOOP("Annotation", "涂黑")},
};

// Colour 1 stands for the ink colour setting.
constexpr uint32_t PaletteTable[PaletteSize] = {0,           0xFFE53935u, 0xFFFFD600u, 0xFF2EAD4Bu,
                                                0xFF1E6FE0u, 0xFFFFFFFFu, 0xFF000000u, 0xFFD81B9Cu};

const TPenTool PenTool;
const TPenRectangleTool PenRectangleTool;
const TArrowTool ArrowTool;
const TLineTool LineTool;
const TRectangleTool RectangleTool;
const TEllipseTool EllipseTool;
const TTextTool TextTool;
const TStepTool StepTool;
const TMarkerTool MarkerTool;
const TPixelateTool PixelateTool;
const TRedactTool RedactTool;

} // namespace

std::span<const TToolInfo> Tools() {
    return ToolTable;
}

const TToolInfo& ToolInfo(TToolKind kind) {
    return ToolTable[std::clamp(int(kind), 0, ToolCount - 1)];
}

std::optional<TToolKind> ToolForKey(int key) {
    for (const TToolInfo& t : ToolTable)
        if (t.key == key) return t.kind;
    return std::nullopt;
}

std::optional<TToolKind> ToolNamed(const QString& name) {
    for (const TToolInfo& t : ToolTable)
        if (name == QLatin1String(t.name)) return t.kind;
    return std::nullopt;
}

QString ToolLabel(TToolKind kind) {
    return QCoreApplication::translate("Annotation", ToolInfo(kind).label);
}

uint32_t PaletteValue(int index) {
    return PaletteTable[std::clamp(index, 1, PaletteSize) - 1];
}

uint32_t PaletteColour(int index, uint32_t inkColor) {
    const uint32_t v = PaletteValue(index);
    return v ? v : (inkColor | 0xFF000000u);
}

const TAnnotationTool& ToolOf(TToolKind kind) {
    switch (kind) {
    case TToolKind::Pen:
        return PenTool;
    case TToolKind::Arrow:
        return ArrowTool;
    case TToolKind::Line:
        return LineTool;
    case TToolKind::Rectangle:
        return RectangleTool;
    case TToolKind::Ellipse:
        return EllipseTool;
    case TToolKind::Text:
        return TextTool;
    case TToolKind::Step:
        return StepTool;
    case TToolKind::Marker:
        return MarkerTool;
    case TToolKind::Pixelate:
        return PixelateTool;
    case TToolKind::Redact:
        return RedactTool;
    }
    return PenTool;
}

const TAnnotationTool& ToolOf(const CaptureShape& s) {
    if (s.Tool == TToolKind::Pen && s.Kind == skRectangle) return PenRectangleTool;
    return ToolOf(s.Tool);
}

// --- what most tools share ------------------------------------------------------------------------

void TAnnotationTool::Start(CaptureShape& s, TPointD at) const {
    s.Kind = skFinished;
    s.Pen = s.Target = at;
    s.Points = {at, at};
}

void TAnnotationTool::Grow(CaptureShape& s, TPointD to, bool) const {
    s.Target = to;
    if (s.Points.size() == 2) s.Points[1] = to;
}

bool TAnnotationTool::Empty(const CaptureShape& s) const {
    if (s.Points.size() < 2) return true;
    return std::abs(s.Points[1].x - s.Points[0].x) < 2 && std::abs(s.Points[1].y - s.Points[0].y) < 2;
}

bool TAnnotationTool::Hit(const CaptureShape& s, TPointD at, double penWidth) const {
    return Bounds(s, penWidth).contains(int(std::floor(at.x)), int(std::floor(at.y)));
}

// --- drawing a list -------------------------------------------------------------------------------

void DrawAnnotations(TAnnotationCanvas& canvas, std::span<const CaptureShape> shapes) {
    canvas.stepNumber = 0;
    for (size_t i = 1; i < shapes.size(); ++i) {
        const CaptureShape& s = shapes[i];
        if (s.Tool == TToolKind::Step) ++canvas.stepNumber;
        if (s.Points.empty()) continue;
        ToolOf(s).Draw(s, canvas);
    }
}

std::vector<QRect> CoveredBoxes(std::span<const CaptureShape> shapes, QPoint origin) {
    std::vector<QRect> boxes;
    for (size_t i = 1; i < shapes.size(); ++i)
        if (ToolOf(shapes[i]).Covers() && shapes[i].Points.size() >= 2)
            boxes.push_back(CornerBox(shapes[i]).translated(origin));
    return boxes;
}

void ApplyRedactions(const DibOps::View& picture, QPoint origin, const DibOps::ConstView& desktop,
                     std::span<const CaptureShape> shapes, uint32_t inkColor) {
    std::vector<CaptureShape> covering;
    covering.emplace_back(); // the selection's place
    for (size_t i = 1; i < shapes.size(); ++i)
        if (ToolOf(shapes[i]).Covers()) covering.push_back(shapes[i]);
    if (covering.size() == 1) return;
    // Drawn without the wrapper: both redactions are whole pixels.
    TAnnotationCanvas canvas;
    canvas.image = picture;
    canvas.origin = origin;
    canvas.desktop = desktop;
    canvas.covered = CoveredBoxes(shapes, origin);
    canvas.clip = QRect(0, 0, picture.width, picture.height);
    canvas.inkColor = inkColor;
    for (size_t i = 1; i < covering.size(); ++i)
        ToolOf(covering[i]).Draw(covering[i], canvas);
}

// --- geometry -------------------------------------------------------------------------------------

int StrokeMargin(const CaptureShape& s, double penWidth) {
    if (s.Tool == TToolKind::Marker) return PenMargin(TMarkerTool::StrokeWidth(s.Width));
    return PenMargin(penWidth);
}

QRect CornerBox(const CaptureShape& s) {
    if (s.Points.size() < 2) return {};
    const TPointD a = s.Points.front(), b = s.Points[s.Points.size() > 2 ? 2 : 1];
    const int l = int(std::floor(std::min(a.x, b.x))), t = int(std::floor(std::min(a.y, b.y)));
    const int r = int(std::floor(std::max(a.x, b.x))), bt = int(std::floor(std::max(a.y, b.y)));
    return QRect(QPoint(l, t), QPoint(r, bt));
}

void MoveShape(CaptureShape& s, int dx, int dy) {
    for (TPointD& p : s.Points) {
        p.x += dx;
        p.y += dy;
    }
    s.Pen = {s.Pen.x + dx, s.Pen.y + dy};
    s.Target = {s.Target.x + dx, s.Target.y + dy};
    if (s.Bounds.IsSet())
        s.Bounds = {s.Bounds.left + dx, s.Bounds.top + dy, s.Bounds.right + dx, s.Bounds.bottom + dy};
}
