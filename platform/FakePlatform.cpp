#include "FakePlatform.h"

#include <algorithm>

#include <QPainter>

namespace {

class TFakeDisplay : public IDisplayService {
  public:
    explicit TFakeDisplay(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    TPlatformStatus CheckLayeredWindows() override {
        return s_->layeredWindows ? TPlatformStatus::Ok() : TPlatformStatus::Fail(s_->refusalReason);
    }
    QRect DesktopBounds() override {
        QRect r;
        for (const QRect& m : s_->monitors)
            r = r.united(m);
        return r;
    }
    QList<QRect> Monitors() override { return s_->monitors; }
    bool CanPlaceWindows() override { return s_->placesWindows; }
    QRect MonitorNamed(const QString& name) override { return s_->namedMonitors.value(name); }

  private:
    std::shared_ptr<TFakeState> s_;
};

class TFakeInstance : public ISingleInstance {
  public:
    explicit TFakeInstance(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    bool HandOver(const QByteArray& request) override {
        if (!s_->anotherInstance) return false;
        s_->handedOver << request;
        return true;
    }
    bool BecomeFirstOrHandOver(const QByteArray& request) override {
        if (!s_->anotherInstance) return true;
        ++s_->comeForwardRequests;
        s_->handedOver << request;
        return false;
    }
    void SetRequestHandler(std::function<void(const QByteArray&)> handler) override {
        s_->requestHandler = std::move(handler);
    }

  private:
    std::shared_ptr<TFakeState> s_;
};

class TFakeFolders : public IFolders {
  public:
    explicit TFakeFolders(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    QString Desktop() override { return s_->desktop; }
    QString Documents() override { return s_->documents; }
    QString Temp() override { return s_->temp; }

  private:
    std::shared_ptr<TFakeState> s_;
};

class TFakeAutostart : public IAutostart {
  public:
    explicit TFakeAutostart(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    bool IsEnabled(const QString& programPath) override {
        return s_->autostartPath.compare(programPath, Qt::CaseInsensitive) == 0;
    }
    TPlatformStatus SetEnabled(const QString& programPath, bool on) override {
        s_->autostartPath = on ? programPath : QString();
        return TPlatformStatus::Ok();
    }

  private:
    std::shared_ptr<TFakeState> s_;
};

class TFakeShell : public IShell {
  public:
    explicit TFakeShell(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    TPlatformStatus OpenUrl(const QString& url) override {
        s_->openedUrls << url;
        return TPlatformStatus::Ok();
    }
    TPlatformStatus EditFile(const QString& path) override {
        s_->editedFiles << path;
        return TPlatformStatus::Ok();
    }
    int SendMail(const QString& subject, const QStringList& attachments, const QString& body,
                 const QString& recipientAddress, const QString& recipientName) override {
        s_->mails.append({subject, attachments});
        s_->mailDetails.append({body, recipientAddress, recipientName});
        return s_->mailResult;
    }
    TPlatformStatus AddRecentDocument(const QString& path) override {
        s_->recentDocuments << path;
        return TPlatformStatus::Ok();
    }

  private:
    std::shared_ptr<TFakeState> s_;
};

class TFakeGrabber : public IScreenGrabber {
  public:
    explicit TFakeGrabber(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    TPlatformStatus Grab(const QRect& rect, TGrabbedImage& out) override {
        ++s_->screenReads;
        if (s_->desktopImage.isNull() || rect.isEmpty()) return TPlatformStatus::Fail("nothing to grab");
        QImage src = s_->desktopImage.convertToFormat(QImage::Format_RGB32);
        out.width = rect.width();
        out.height = rect.height();
        out.stride = out.width * 4;
        out.pixels.assign(size_t(out.stride) * out.height, 0);
        const QRect inside = rect.intersected(src.rect());
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            const uchar* from = src.constScanLine(y) + inside.left() * 4;
            uint8_t* to =
                out.pixels.data() + size_t(y - rect.top()) * out.stride + (inside.left() - rect.left()) * 4;
            std::copy(from, from + inside.width() * 4, to);
        }
        return TPlatformStatus::Ok();
    }
    TPlatformStatus GrabTo(const QRect& rect, const TGrabSink& sink) override {
        ++s_->screenReads;
        if (s_->desktopImage.isNull() || rect.isEmpty()) return TPlatformStatus::Fail("nothing to grab");
        const QImage src = s_->desktopImage.convertToFormat(QImage::Format_RGB32);
        const QRect inside = rect.intersected(src.rect());
        if (!inside.isEmpty())
            sink(inside.translated(-rect.topLeft()), src.constScanLine(inside.top()) + inside.left() * 4,
                 int(src.bytesPerLine()));
        return TPlatformStatus::Ok();
    }
    void ReleaseKept() override { ++s_->keptReleases; }
    bool DrawBackdrop(uintptr_t window, const THeldGrab&, const TBackdrop& backdrop) override {
        if (!s_->offersBackdrop || !window) return false;
        s_->backdrops << backdrop;
        s_->backdropWindows << window;
        return true;
    }
    TPlatformStatus Cursor(TCursorImage& out) override {
        if (!s_->hasCursor) return TPlatformStatus::Fail("no cursor");
        out = s_->cursor;
        return TPlatformStatus::Ok();
    }

  private:
    std::shared_ptr<TFakeState> s_;
};

class TFakeActiveWindow : public IActiveWindow {
  public:
    explicit TFakeActiveWindow(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    TForegroundWindow Foreground() override { return s_->foreground; }

  private:
    std::shared_ptr<TFakeState> s_;
};

class TFakeHotKeys : public IHotKeys {
  public:
    explicit TFakeHotKeys(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    THotKeyGrab Register(int id, int qtKey, Qt::KeyboardModifiers modifiers) override {
        Unregister(id);
        const bool held = s_->heldByOthers.contains(qMakePair(qtKey, modifiers));
        (held ? s_->refusedHotKeys : s_->hotKeys).append({id, qtKey, modifiers});
        return held ? THotKeyGrab::Held : THotKeyGrab::Ours;
    }
    void Unregister(int id) override {
        auto same = [id](const TFakeState::HotKey& k) { return k.id == id; };
        s_->hotKeys.removeIf(same);
        s_->refusedHotKeys.removeIf(same);
    }
    void SetHandler(std::function<void(int)> handler) override { s_->hotKeyHandler = std::move(handler); }
    void SetRemapHandler(std::function<void(const QList<int>&)> handler) override {
        s_->remapHandler = std::move(handler);
    }
    std::optional<QString> KeysKeptBy() const override { return s_->keysKeptBy; }

  private:
    std::shared_ptr<TFakeState> s_;
};

class TFakeWindowShape : public IWindowShape {
  public:
    explicit TFakeWindowShape(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    void HideWindowRegion(quintptr window) override {
        if (!s_->hiddenWindows.contains(window)) s_->hiddenWindows << window;
    }
    void RestoreWindowRegion(quintptr window) override {
        s_->hiddenWindows.removeAll(window);
        s_->visibleRegions.remove(window);
    }
    void SetVisibleRegion(quintptr window, const std::vector<QRect>& bands) override {
        ++s_->visibleRegionCalls;
        s_->visibleRegions[window] = QList<QRect>(bands.begin(), bands.end());
    }
    void SetInputRegion(quintptr window, const QList<QRect>& rects) override {
        if (rects.isEmpty())
            s_->inputRegions.remove(window);
        else
            s_->inputRegions[window] = rects;
    }
    bool CompositorActive() override { return s_->compositor; }
    void SetCompositorHandler(std::function<void(bool)> handler) override {
        s_->compositorHandler = std::move(handler);
    }

  private:
    std::shared_ptr<TFakeState> s_;
};

class TFakeOffers : public IDesktopOffers {
  public:
    explicit TFakeOffers(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
    TDesktopOffers Offers() override { return s_->offers; }
    void SetOffersHandler(std::function<void(const TDesktopOffers&)> handler) override {
        s_->offersHandler = std::move(handler);
    }
    void Notify(const TDesktopNotice& notice, std::function<void(const TPlatformStatus&)> done) override {
        const bool taken = s_->offers.notifications && !s_->noticesRefused;
        if (s_->offers.notifications) s_->notices << notice;
        if (done) done(taken ? TPlatformStatus::Ok() : TPlatformStatus::Fail(QStringLiteral("refused")));
    }

  private:
    std::shared_ptr<TFakeState> s_;
};

} // namespace

void TFakeState::RemapKeyboard() {
    QList<HotKey> all = hotKeys + refusedHotKeys;
    hotKeys.clear();
    refusedHotKeys.clear();
    QList<int> notOurs;
    for (const HotKey& k : all) {
        const bool held = heldByOthers.contains(qMakePair(k.key, k.modifiers));
        (held ? refusedHotKeys : hotKeys).append(k);
        if (held) notOurs << k.id;
    }
    std::sort(notOurs.begin(), notOurs.end());
    if (remapHandler) remapHandler(notOurs);
}

std::unique_ptr<TPlatform> MakeFakePlatform(std::shared_ptr<TFakeState> state) {
    auto p = std::make_unique<TPlatform>();
    p->name = QStringLiteral("fake");
    p->display = std::make_unique<TFakeDisplay>(state);
    p->instance = std::make_unique<TFakeInstance>(state);
    p->folders = std::make_unique<TFakeFolders>(state);
    p->autostart = std::make_unique<TFakeAutostart>(state);
    p->shell = std::make_unique<TFakeShell>(state);
    p->grabber = std::make_unique<TFakeGrabber>(state);
    p->activeWindow = std::make_unique<TFakeActiveWindow>(state);
    p->hotKeys = std::make_unique<TFakeHotKeys>(state);
    p->windowShape = std::make_unique<TFakeWindowShape>(state);
    p->offers = std::make_unique<TFakeOffers>(state);
    return p;
}

std::shared_ptr<TFakeState> InstallFakePlatform() {
    auto state = std::make_shared<TFakeState>();
    SetPlatform(MakeFakePlatform(state));
    return state;
}
