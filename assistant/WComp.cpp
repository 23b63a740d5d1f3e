#include "WComp.h"

#include "hotkeys.h"

namespace tavc::assistant {
namespace {

// The hidden window: never shown; what the platform delivers to it becomes a message of its owner.
class THiddenWindow : public QObject {
  public:
    explicit THiddenWindow(TWindowedComponent* owner) : owner_(owner) {}

    bool event(QEvent* e) override {
        if (e->type() != hotkeys::HotKeyEvent::type()) return QObject::event(e);
        TMessage message{WM_HOTKEY, static_cast<uintptr_t>(static_cast<hotkeys::HotKeyEvent*>(e)->id()), 0,
                         0};
        owner_->WindowProc(message);
        return true;
    }

  private:
    TWindowedComponent* owner_;
};

}  // namespace

TWindowedComponent::TWindowedComponent(QObject* owner) : QObject(owner) {}

TWindowedComponent::~TWindowedComponent() {
    if (window_ == nullptr) return;
    TMessage message{WM_DESTROY, 0, 0, 0};
    WindowProc(message);
    // Whatever is still registered on the window goes with it, as a destroyed window's hot keys do.
    hotkeys::unregister_all(window_);
    delete window_;
    window_ = nullptr;
}

bool TWindowedComponent::HasWindow() const {
    return window_ != nullptr;
}

void TWindowedComponent::EnsureWindow() {
    if (window_ == nullptr) window_ = new THiddenWindow(this);
}

TWindowHandle TWindowedComponent::WindowHandle() {
    EnsureWindow();
    return window_;
}

void TWindowedComponent::WindowProc(TMessage& message) {
    DefaultMessage(message);
}

void TWindowedComponent::DefaultMessage(TMessage& message) {
    // No default processing of a hidden window's messages is left to do here.
    if (window_ != nullptr) message.Result = 0;
}

}  // namespace tavc::assistant
