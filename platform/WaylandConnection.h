// The program's own connection to the Wayland compositor, beside the toolkit's: it asks for copies of
// the outputs and follows their layout. Only the grab and the display service use it, on the GUI
// thread; events are read when they are asked for (a layout change is seen by the next question).
#pragma once

#include "OutputLayout.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_output;
struct wl_shm;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_screencopy_manager_v1;
struct ext_output_image_capture_source_manager_v1;
struct ext_image_copy_capture_manager_v1;

class TWaylandConnection {
  public:
    struct TOutput {
        uint32_t global = 0;
        wl_output* output = nullptr;
        zxdg_output_v1* xdg = nullptr;
        TOutputInfo info;      // as last completed
        TOutputInfo pending;   // being described
        QPoint outputPosition; // wl_output's own idea of the position, when there is no xdg-output
        QSize mode;            // the current mode, unturned
        int transform = 0;     // wl_output.transform
        int scale = 1;         // wl_output.scale
        bool haveLogical = false;
    };

    // Null when no compositor answers at $WAYLAND_DISPLAY.
    static std::unique_ptr<TWaylandConnection> Open();
    ~TWaylandConnection();
    TWaylandConnection(const TWaylandConnection&) = delete;
    TWaylandConnection& operator=(const TWaylandConnection&) = delete;

    wl_display* Display() const { return display_; }
    wl_shm* Shm() const { return shm_; }
    zwlr_screencopy_manager_v1* Screencopy() const { return screencopy_; }
    uint32_t ScreencopyVersion() const { return screencopyVersion_; }
    // The standard image copy: outputs made sources, and the copies of a source.
    ext_output_image_capture_source_manager_v1* OutputSources() const { return outputSources_; }
    ext_image_copy_capture_manager_v1* ImageCopy() const { return imageCopy_; }
    // The compositor copies outputs into the program's memory by one interface or the other.
    bool CopiesOutputs() const { return (outputSources_ && imageCopy_) || screencopy_; }
    bool Lost() const;

    // Takes in what the compositor has said meanwhile, without waiting.
    void Update();
    // Sends everything and waits until `done` holds, events dispatched meanwhile; false on time-out or
    // a broken connection.
    bool DispatchUntil(const std::function<bool()>& done, int timeoutMs);

    const std::vector<std::unique_ptr<TOutput>>& Outputs() const { return outputs_; }
    TOutputLayout Layout() const;

  private:
    TWaylandConnection() = default;
    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version);
    static void GlobalRemove(void* data, wl_registry* registry, uint32_t name);
    void AddOutput(uint32_t global, uint32_t version);
    void DescribeOutput(TOutput& o);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_shm* shm_ = nullptr;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    zwlr_screencopy_manager_v1* screencopy_ = nullptr;
    uint32_t screencopyVersion_ = 0;
    ext_output_image_capture_source_manager_v1* outputSources_ = nullptr;
    ext_image_copy_capture_manager_v1* imageCopy_ = nullptr;
    std::vector<std::unique_ptr<TOutput>> outputs_;
};
