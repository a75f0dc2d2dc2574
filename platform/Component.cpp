// The component base: owned objects are freed with their owner.
#include "platform/Component.h"

#include <algorithm>

namespace quillock::platform {

TComponent::TComponent(TComponent* owner) : FOwner(owner) {
    if (FOwner != nullptr) {
        FOwner->FComponents.push_back(this);
    }
}

TComponent::~TComponent() {
    // Free what we own, newest first; each one detaches itself from us.
    while (!FComponents.empty()) {
        delete FComponents.back();
    }
    if (FOwner != nullptr) {
        auto& siblings = FOwner->FComponents;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

} // namespace quillock::platform
