// The component base: an object may be given an owner, which frees it at the
// latest when the owner itself goes.
#pragma once

#include <cstddef>
#include <vector>

namespace quillock::platform {

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    [[nodiscard]] TComponent* Owner() const noexcept { return FOwner; }
    [[nodiscard]] std::size_t ComponentCount() const noexcept { return FComponents.size(); }

private:
    TComponent* FOwner;
    std::vector<TComponent*> FComponents;
};

} // namespace quillock::platform
