#include "rtl/component.h"

#include <strings.h>
#include <algorithm>

namespace rtl {

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    for (TComponent* c : components_) c->owner_ = nullptr;
    if (owner_) owner_->removeComponent(this);
}

void TComponent::SetName(const std::string& name) {
    name_ = name;
    NameChanged();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (TComponent* c : components_)
        if (strcasecmp(c->name_.c_str(), name.c_str()) == 0) return c;
    return nullptr;
}

void TComponent::DestroyComponents() {
    while (!owned_.empty()) {
        std::unique_ptr<TComponent> last = std::move(owned_.back());
        owned_.pop_back();
        last.reset();
    }
}

void TComponent::BeginLoading() {
    loading_ = true;
    for (TComponent* c : components_) c->loading_ = true;
}

void TComponent::EndLoading() {
    loading_ = false;
    std::vector<TComponent*> loaded = components_;
    for (TComponent* c : loaded) c->loading_ = false;
    for (TComponent* c : loaded) c->Loaded();
    Loaded();
}

void TComponent::removeComponent(TComponent* component) {
    components_.erase(std::remove(components_.begin(), components_.end(), component),
                      components_.end());
}

}  // namespace rtl
