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
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "黑色"), 0x000000},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "褐红色"), 0x000080},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "绿色"), 0x008000},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "橄榄色"), 0x008080},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "藏青色"), 0x800000},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "紫色"), 0x800080},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "蓝绿色"), 0x808000},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "灰色"), 0x808080},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "银色"), 0xC0C0C0},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "红色"), 0x0000FF},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "酸橙色"), 0x00FF00},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "黄色"), 0x00FFFF},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "蓝色"), 0xFF0000},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "紫红色"), 0xFF00FF},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "浅绿色"), 0xFFFF00},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "白色"), 0xFFFFFF},
};
constexpr std::array kExtendedColors = {
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "美元绿"), 0xC0DCC0},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "天蓝色"), 0xF0CAA6},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "奶油色"), 0xF0FBFF},
    NamedColor{QT_TRANSLATE_NOOP("TColorBox", "中灰色"), 0xA4A0A0},
};

// The system colours by their classic index, each taken from the palette role that plays its part.
struct SystemColor {
    const char* name;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};
constexpr std::array kSystemColors = {
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "滚动条"), QPalette::Active, QPalette::Button},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "桌面"), QPalette::Active, QPalette::Window},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "活动标题栏"), QPalette::Active, QPalette::Highlight},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "非活动标题栏"), QPalette::Inactive, QPalette::Mid},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "菜单"), QPalette::Active, QPalette::Window},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "窗口背景"), QPalette::Active, QPalette::Base},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "窗口边框"), QPalette::Active, QPalette::Shadow},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "菜单文本"), QPalette::Active, QPalette::WindowText},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "窗口文本"), QPalette::Active, QPalette::Text},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "标题文本"), QPalette::Active, QPalette::HighlightedText},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "活动边框"), QPalette::Active, QPalette::Button},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "非活动边框"), QPalette::Inactive, QPalette::Button},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "应用程序工作区"), QPalette::Active, QPalette::Dark},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "突出显示"), QPalette::Active, QPalette::Highlight},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "突出显示文本"), QPalette::Active, QPalette::HighlightedText},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "按钮表面"), QPalette::Active, QPalette::Button},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "按钮阴影"), QPalette::Active, QPalette::Dark},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "灰色文本"), QPalette::Disabled, QPalette::Text},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "按钮文本"), QPalette::Active, QPalette::ButtonText},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "非活动标题文本"), QPalette::Inactive, QPalette::Text},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "按钮高光"), QPalette::Active, QPalette::Light},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "三维深阴影"), QPalette::Active, QPalette::Shadow},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "三维亮色"), QPalette::Active, QPalette::Midlight},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "提示文本"), QPalette::Active, QPalette::ToolTipText},
    SystemColor{QT_TRANSLATE_NOOP("TColorBox", "提示背景"), QPalette::Active, QPalette::ToolTipBase},
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
    AddColor(QT_TR_NOOP("默认"), kDefaultColorValue);
    for (const auto& c : kStandardColors)
        AddColor(c.name, c.value);
    for (const auto& c : kExtendedColors)
        AddColor(c.name, c.value);
    for (size_t i = 0; i < kSystemColors.size(); ++i)
        AddColor(kSystemColors[i].name, kSystemColorFlag | uint32_t(i));
    customIndex_ = count();
    AddColor(QT_TR_NOOP("自定义..."), 0x000000);
    setCurrentIndex(-1);
    connect(this, &QComboBox::activated, this, &TColorBox::OnActivated);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != customIndex_) lastIndex_ = index;
    });
}

void TColorBox::AddColor(const char* name, uint32_t value) {
    addItem(tr(name), QVariant::fromValue<uint>(value));
    names_.push_back(name);
    UpdateSwatch(count() - 1);
}

void TColorBox::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        for (int i = 0; i < count() && size_t(i) < names_.size(); ++i)
            setItemText(i, tr(names_[size_t(i)]));
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
    const QColor chosen = QColorDialog::getColor(FromBGR(ValueAt(customIndex_)), this, tr("颜色"));
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
