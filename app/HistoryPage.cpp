#include "HistoryPage.h"

#include "DIBmp.h"
#include "HandOffs.h"

#include <QAbstractListModel>
#include <QBoxLayout>
#include <QEvent>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

// The tab is as wide as the settings tab; five rows of thumbnails show at once.
constexpr QSize kHistorySheetSize(466, 420);
constexpr int kMargin = 6;

} // namespace

// The history's entries as the list shows them: the thumbnail, then the time, the name and the size.
// A thumbnail is read from its file when the view first asks for it, and kept.
class THistoryPage::TModel : public QAbstractListModel {
  public:
    explicit TModel(QObject* parent) : QAbstractListModel(parent) {}

    void SetHistory(TCaptureHistory* history) {
        beginResetModel();
        history_ = history;
        endResetModel();
    }
    TCaptureHistory* History() const { return history_; }

    // The history changed: the list follows; thumbnails of entries that went are dropped.
    void Reload() {
        beginResetModel();
        QHash<QString, QPixmap> kept;
        if (history_)
            for (const THistoryEntry& e : history_->Entries())
                if (const auto it = thumbs_.constFind(e.file); it != thumbs_.constEnd())
                    kept.insert(e.file, *it);
        thumbs_.swap(kept);
        endResetModel();
    }

    const THistoryEntry* EntryAt(const QModelIndex& index) const {
        if (!history_ || !index.isValid() || index.row() >= int(history_->Entries().size())) return nullptr;
        return &history_->Entries()[size_t(index.row())];
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() || !history_ ? 0 : int(history_->Entries().size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const THistoryEntry* e = EntryAt(index);
        if (!e) return {};
        switch (role) {
        case Qt::DisplayRole: {
            QString text = e->time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            // A title of several lines shows as one.
            if (!e->name.isEmpty()) text += u'\n' + QString(e->name).replace(u'\n', u' ');
            return text + QStringLiteral("\n%1 × %2").arg(e->size.width()).arg(e->size.height());
        }
        case Qt::DecorationRole:
            return Thumbnail(*e);
        case Qt::ToolTipRole:
            return history_->PicturePath(*e);
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return EntryAt(index) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
                              : Qt::NoItemFlags;
    }

    // Dragged out, an entry is its picture file.
    QStringList mimeTypes() const override { return {QStringLiteral("text/uri-list")}; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override {
        QList<QUrl> urls;
        for (const QModelIndex& index : indexes)
            if (const THistoryEntry* e = EntryAt(index))
                urls << QUrl::fromLocalFile(history_->PicturePath(*e));
        if (urls.isEmpty()) return nullptr;
        auto* data = new QMimeData;
        data->setUrls(urls);
        return data;
    }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

  private:
    QPixmap Thumbnail(const THistoryEntry& e) const {
        if (const auto it = thumbs_.constFind(e.file); it != thumbs_.constEnd()) return *it;
        // Every thumbnail in a box of the same size, centred, so that the texts beside them line up.
        TDIB box(kHistoryThumbSize.width(), kHistoryThumbSize.height(), 32);
        box.FillRect(QRect(QPoint(0, 0), kHistoryThumbSize), 0, 256);
        try {
            TDIB thumb;
            thumb.LoadFromFile(history_->ThumbnailPath(e));
            thumb.DrawTo(box, std::max(0, (box.Width() - thumb.Width()) / 2),
                         std::max(0, (box.Height() - thumb.Height()) / 2),
                         QRect(0, 0, thumb.Width(), thumb.Height()));
        } catch (const std::exception&) {
            // No thumbnail (or a damaged one): the entry shows an empty box.
        }
        const QPixmap pixmap = QPixmap::fromImage(box.ToQImage());
        thumbs_.insert(e.file, pixmap);
        return pixmap;
    }

    TCaptureHistory* history_ = nullptr;
    mutable QHash<QString, QPixmap> thumbs_;
};

THistoryPage::THistoryPage(QWidget* sheet, TWiring wiring) : sheet_(sheet), wiring_(std::move(wiring)) {
    model_ = new TModel(this);
    list_ = new QListView(sheet_);
    list_->setObjectName(QStringLiteral("HistoryList"));
    list_->setModel(model_);
    list_->setIconSize(kHistoryThumbSize);
    // Every row is as tall as the first: the view asks no other row for its size, so only the
    // thumbnails it shows are read.
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setDragEnabled(true);
    list_->setDragDropMode(QAbstractItemView::DragOnly);
    list_->setDefaultDropAction(Qt::CopyAction);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setWordWrap(false);
    // A long title is cut short at the list's edge: each row is one cell of a grid as wide as the list.
    list_->setTextElideMode(Qt::ElideRight);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->viewport()->installEventFilter(this);

    emptyLabel_ = new QLabel(sheet_);
    emptyLabel_->setObjectName(QStringLiteral("HistoryEmptyLabel"));
    emptyLabel_->setAlignment(Qt::AlignCenter);
    emptyLabel_->setWordWrap(true);

    auto button = [this](const char* name) {
        auto* b = new QPushButton(sheet_);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    copyBtn_ = button("HistoryCopyBtn");
    saveAsBtn_ = button("HistorySaveAsBtn");
    editBtn_ = button("HistoryEditBtn");
    pinBtn_ = button("HistoryPinBtn");
    deleteBtn_ = button("HistoryDeleteBtn");

    auto* rows = new QVBoxLayout(sheet_);
    rows->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    rows->addWidget(list_, 1);
    rows->addWidget(emptyLabel_, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {copyBtn_, saveAsBtn_, editBtn_, pinBtn_, deleteBtn_})
        buttons->addWidget(b);
    buttons->addStretch();
    rows->addLayout(buttons);

    connect(copyBtn_, &QPushButton::clicked, this, &THistoryPage::CopyClick);
    connect(saveAsBtn_, &QPushButton::clicked, this, &THistoryPage::SaveAsClick);
    connect(editBtn_, &QPushButton::clicked, this, &THistoryPage::EditClick);
    connect(pinBtn_, &QPushButton::clicked, this, &THistoryPage::PinClick);
    connect(deleteBtn_, &QPushButton::clicked, this, &THistoryPage::DeleteClick);
    connect(list_, &QListView::customContextMenuRequested, this, &THistoryPage::PopupMenu);
    auto* del = new QShortcut(QKeySequence::Delete, list_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, &THistoryPage::DeleteClick);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateCommands(); });

    RetranslateTexts();
    emptyLabel_->hide();
    UpdateCommands();
}

THistoryPage::~THistoryPage() = default;

bool THistoryPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::Resize) {
        constexpr int kRowGap = 6;
        list_->setGridSize(QSize(list_->viewport()->width(), kHistoryThumbSize.height() + kRowGap));
    }
    return false;
}

QSize THistoryPage::SheetSize() const {
    return kHistorySheetSize;
}

void THistoryPage::ShowEntries() {
    if (!model_->History()) {
        TCaptureHistory* history = &wiring_.history();
        model_->SetHistory(history);
        connect(history, &TCaptureHistory::Changed, this, [this] {
            // The selection stays on its picture where that is still there.
            const std::optional<THistoryEntry> selected = Selected();
            model_->Reload();
            if (selected) {
                const std::vector<THistoryEntry>& entries = model_->History()->Entries();
                for (size_t i = 0; i < entries.size(); ++i)
                    if (entries[i].file == selected->file) list_->setCurrentIndex(model_->index(int(i)));
            }
            UpdateCommands();
        });
    }
    UpdateCommands();
}

void THistoryPage::SetPinCapture(TPinCapture pin) {
    pin_ = std::move(pin);
    UpdateCommands();
}

void THistoryPage::RetranslateTexts() {
    copyBtn_->setText(tr("复制(&C)"));
    saveAsBtn_->setText(tr("保存为(&S)..."));
    editBtn_->setText(tr("编辑(&E)..."));
    pinBtn_->setText(tr("钉在屏幕上(&N)"));
    deleteBtn_->setText(tr("删除(&D)"));
    emptyLabel_->setText(tr("还没有保存的捕获。确认的每一次捕获都会保存在这里。"));
}

std::optional<THistoryEntry> THistoryPage::Selected() const {
    const QModelIndexList rows = list_->selectionModel()->selectedIndexes();
    if (rows.isEmpty()) return std::nullopt;
    const THistoryEntry* e = model_->EntryAt(rows.constFirst());
    return e ? std::optional<THistoryEntry>(*e) : std::nullopt;
}

void THistoryPage::UpdateCommands() {
    const bool any = model_->History() && !model_->History()->Entries().empty();
    list_->setVisible(any || !model_->History());
    emptyLabel_->setVisible(!list_->isVisibleTo(sheet_));
    const bool selected = Selected().has_value();
    for (QPushButton* b : {copyBtn_, saveAsBtn_, editBtn_, deleteBtn_})
        b->setEnabled(selected);
    pinBtn_->setEnabled(selected && pin_ != nullptr);
}

void THistoryPage::PopupMenu(const QPoint& at) {
    if (!Selected()) return;
    QMenu menu(list_);
    menu.setObjectName(QStringLiteral("HistoryMenu"));
    menu.addAction(copyBtn_->text(), this, &THistoryPage::CopyClick);
    menu.addAction(saveAsBtn_->text(), this, &THistoryPage::SaveAsClick);
    menu.addAction(editBtn_->text(), this, &THistoryPage::EditClick);
    menu.addAction(pinBtn_->text(), this, &THistoryPage::PinClick)->setEnabled(pin_ != nullptr);
    menu.addSeparator();
    menu.addAction(deleteBtn_->text(), this, &THistoryPage::DeleteClick);
    menu.exec(list_->viewport()->mapToGlobal(at));
}

std::optional<TDIB> THistoryPage::LoadPicture(const THistoryEntry& entry) {
    const QString path = model_->History()->PicturePath(entry);
    TDIB picture;
    try {
        picture.LoadFromFile(path);
    } catch (const std::exception&) {
        picture.Clear();
    }
    if (!picture.Empty()) return picture;
    // A picture that has gone leaves the list; one that no longer reads stays for the user to judge.
    if (!QFileInfo(path).isFile()) model_->History()->Remove(entry.file);
    QMessageBox box(QMessageBox::Critical, ErrorCaption(), tr("无法读取这个捕获：%1").arg(path),
                    QMessageBox::Ok, sheet_->window());
    box.exec();
    return std::nullopt;
}

void THistoryPage::CopyClick() {
    if (const std::optional<THistoryEntry> e = Selected())
        if (const std::optional<TDIB> picture = LoadPicture(*e)) CopyImageToClipboard(*picture);
}

void THistoryPage::PinClick() {
    if (!pin_) return;
    if (const std::optional<THistoryEntry> e = Selected())
        if (const std::optional<TDIB> picture = LoadPicture(*e)) pin_(*picture, e->desktopRect);
}

void THistoryPage::DeleteClick() {
    if (const std::optional<THistoryEntry> e = Selected()) model_->History()->Remove(e->file);
}

void THistoryPage::SaveAsClick() {
    Export(&TExporter::SaveAsBtnClick);
}

void THistoryPage::EditClick() {
    Export(&TExporter::EditBtnClick);
}

// The export's own commands on the kept picture, as they run on the current capture: named after the
// capture, in the formats and at the scaling the settings give, without a comment (that belonged to
// the capture of its time). The formats without alpha get the picture over white.
void THistoryPage::Export(void (TExporter::*command)()) {
    const std::optional<THistoryEntry> e = Selected();
    if (!e) return;
    const std::optional<TDIB> picture = LoadPicture(*e);
    if (!picture) return;
    TDIB flat(picture->Width(), picture->Height(), 24);
    flat.FillRect(QRect(0, 0, flat.Width(), flat.Height()), 0xFFFFFFFFu);
    picture->AlphaDraw(flat, 0, 0, QRect(0, 0, picture->Width(), picture->Height()));
    TFunctionExportOwner owner;
    owner.captureImage = [&picture] { return *picture; };
    owner.flatImage = [&flat] { return flat; };
    owner.settings = [this, &e] {
        TExportSettings s = wiring_.exportSettings ? wiring_.exportSettings() : TExportSettings();
        s.title = e->name;
        s.comment.clear();
        return s;
    };
    owner.parent = sheet_->window();
    TExporter exporter(owner);
    (exporter.*command)();
}
