#include "ColorBox.h"

#include <QColorDialog>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <array>

namespace {

struct NamedColor {
    const char* name;
    uint32_t value; // 0x00BBGGRR
};

constexpr std::array kStandardColors = {
    NamedColor{"黑色", 0x000000},   NamedColor{"褐红色", 0x000080}, NamedColor{"绿色", 0x008000},
    NamedColor{"橄榄色", 0x008080}, NamedColor{"藏青色", 0x800000}, NamedColor{"紫色", 0x800080},
    NamedColor{"蓝绿色", 0x808000}, NamedColor{"灰色", 0x808080},   NamedColor{"银色", 0xC0C0C0},
    NamedColor{"红色", 0x0000FF},   NamedColor{"酸橙色", 0x00FF00}, NamedColor{"黄色", 0x00FFFF},
    NamedColor{"蓝色", 0xFF0000},   NamedColor{"紫红色", 0xFF00FF}, NamedColor{"浅绿色", 0xFFFF00},
    NamedColor{"白色", 0xFFFFFF},
};
constexpr std::array kExtendedColors = {
    NamedColor{"美元绿", 0xC0DCC0},
    NamedColor{"天蓝色", 0xF0CAA6},
    NamedColor{"奶油色", 0xF0FBFF},
    NamedColor{"中灰色", 0xA4A0A0},
};

// The system colours by their classic index, each taken from the palette role that plays its part.
struct SystemColor {
    const char* name;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};
constexpr std::array kSystemColors = {
    SystemColor{"滚动条", QPalette::Active, QPalette::Button},
    SystemColor{"桌面", QPalette::Active, QPalette::Window},
    SystemColor{"活动标题栏", QPalette::Active, QPalette::Highlight},
    SystemColor{"非活动标题栏", QPalette::Inactive, QPalette::Mid},
    SystemColor{"菜单", QPalette::Active, QPalette::Window},
    SystemColor{"窗口背景", QPalette::Active, QPalette::Base},
    SystemColor{"窗口边框", QPalette::Active, QPalette::Shadow},
    SystemColor{"菜单文本", QPalette::Active, QPalette::WindowText},
    SystemColor{"窗口文本", QPalette::Active, QPalette::Text},
    SystemColor{"标题文本", QPalette::Active, QPalette::HighlightedText},
    SystemColor{"活动边框", QPalette::Active, QPalette::Button},
    SystemColor{"非活动边框", QPalette::Inactive, QPalette::Button},
    SystemColor{"应用程序工作区", QPalette::Active, QPalette::Dark},
    SystemColor{"突出显示", QPalette::Active, QPalette::Highlight},
    SystemColor{"突出显示文本", QPalette::Active, QPalette::HighlightedText},
    SystemColor{"按钮表面", QPalette::Active, QPalette::Button},
    SystemColor{"按钮阴影", QPalette::Active, QPalette::Dark},
    SystemColor{"灰色文本", QPalette::Disabled, QPalette::Text},
    SystemColor{"按钮文本", QPalette::Active, QPalette::ButtonText},
    SystemColor{"非活动标题文本", QPalette::Inactive, QPalette::Text},
    SystemColor{"按钮高光", QPalette::Active, QPalette::Light},
    SystemColor{"三维深阴影", QPalette::Active, QPalette::Shadow},
    SystemColor{"三维亮色", QPalette::Active, QPalette::Midlight},
    SystemColor{"提示文本", QPalette::Active, QPalette::ToolTipText},
    SystemColor{"提示背景", QPalette::Active, QPalette::ToolTipBase},
};

QColor FromBGR(uint32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}
uint32_t ToBGR(const QColor& c) {
    return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

} // namespace

TColorBox::TColorBox(QWidget* parent) : QComboBox(parent) {
    setIconSize(QSize(22, 12));
    defaultIndex_ = count();
    AddColor(QStringLiteral("默认"), kDefaultColorValue);
    for (const auto& c : kStandardColors)
        AddColor(QString::fromUtf8(c.name), c.value);
    for (const auto& c : kExtendedColors)
        AddColor(QString::fromUtf8(c.name), c.value);
    for (size_t i = 0; i < kSystemColors.size(); ++i)
        AddColor(QString::fromUtf8(kSystemColors[i].name), kSystemColorFlag | uint32_t(i));
    customIndex_ = count();
    AddColor(QStringLiteral("自定义..."), 0x000000);
    setCurrentIndex(-1);
    connect(this, &QComboBox::activated, this, &TColorBox::OnActivated);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != customIndex_) lastIndex_ = index;
    });
}

void TColorBox::AddColor(const QString& name, uint32_t value) {
    addItem(name, QVariant::fromValue<uint>(value));
    UpdateSwatch(count() - 1);
}

void TColorBox::UpdateSwatch(int index) {
    QPixmap swatch(iconSize());
    swatch.fill(Qt::transparent);
    QPainter p(&swatch);
    p.setPen(Qt::black);
    p.setBrush(FromBGR(ColorToRGB(ValueAt(index))));
    p.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    p.end();
    setItemIcon(index, QIcon(swatch));
}

uint32_t TColorBox::ValueAt(int index) const {
    if (index < 0 || index >= count()) return 0;
    return itemData(index).toUInt();
}

void TColorBox::SetDefaultColorColor(uint32_t bgr) {
    defaultColor_ = bgr & 0x00FFFFFFu;
    UpdateSwatch(defaultIndex_);
}

uint32_t TColorBox::Selected() const {
    return ValueAt(currentIndex());
}

bool TColorBox::DefaultSelected() const {
    return currentIndex() == defaultIndex_;
}

void TColorBox::SetSelected(uint32_t value) {
    const QSignalBlocker quiet(this);
    for (int i = 0; i < count(); ++i)
        if (i != customIndex_ && ValueAt(i) == value) {
            setCurrentIndex(i);
            lastIndex_ = i;
            return;
        }
    // Only plain colours can become the custom entry's; an unknown system value shows nothing.
    if (value & 0xFF000000u) {
        setCurrentIndex(-1);
        return;
    }
    setItemData(customIndex_, QVariant::fromValue<uint>(value));
    UpdateSwatch(customIndex_);
    setCurrentIndex(customIndex_);
}

uint32_t TColorBox::ColorToRGB(uint32_t value) const {
    if (value == kDefaultColorValue) return defaultColor_;
    if ((value & kSystemColorFlag) == kSystemColorFlag) {
        const uint32_t i = value & 0x00FFFFFFu;
        if (i >= kSystemColors.size()) return 0;
        const QPalette pal = palette();
        return ToBGR(pal.color(kSystemColors[i].group, kSystemColors[i].role));
    }
    return value & 0x00FFFFFFu;
}

void TColorBox::OnActivated(int index) {
    if (index != customIndex_) return;
    const QColor chosen =
        QColorDialog::getColor(FromBGR(ValueAt(customIndex_)), this, QStringLiteral("颜色"));
    if (!chosen.isValid()) {
        // Cancelled: the previous choice stands.
        setCurrentIndex(lastIndex_);
        return;
    }
    setItemData(customIndex_, QVariant::fromValue<uint>(ToBGR(chosen)));
    UpdateSwatch(customIndex_);
    // The list's value changed although the index did not.
    emit currentIndexChanged(customIndex_);
}
