// A component that is not a control but receives messages through a hidden window of its own.
#pragma once

#include <QObject>
#include <cstdint>

namespace tavc::assistant {

inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_HOTKEY = 0x0312;

struct TMessage {
    uint32_t Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

// The hidden window: an object that is never shown; events posted to it become messages of its owner.
using TWindowHandle = QObject*;

class TWindowedComponent : public QObject {
  public:
    explicit TWindowedComponent(QObject* owner);
    ~TWindowedComponent() override;

    bool HasWindow() const;
    void EnsureWindow();
    TWindowHandle WindowHandle();

    // Hands the message to the handler the most derived class declares, or to DefaultMessage.
    virtual void WindowProc(TMessage& message);
    void DefaultMessage(TMessage& message);

    // Called once the component's owner has set it up, as after loading a stored layout.
    virtual void Loaded() {}

  private:
    TWindowHandle window_ = nullptr;
};

}  // namespace tavc::assistant
