#include "WComp.h"

namespace tavc::assistant {

TWindowedComponent::TWindowedComponent(QObject* owner) : QObject(owner) {}
TWindowedComponent::~TWindowedComponent() = default;
bool TWindowedComponent::HasWindow() const {
    return window_ != nullptr;
}
void TWindowedComponent::EnsureWindow() {}
TWindowHandle TWindowedComponent::WindowHandle() {
    return window_;
}
void TWindowedComponent::WindowProc(TMessage& message) {
    DefaultMessage(message);
}
void TWindowedComponent::DefaultMessage(TMessage&) {}

}  // namespace tavc::assistant
