// The component base: a name, an owner, the components it owns, and the loading flag that a
// form sets while it assigns its components' properties.
#ifndef VELDA_RTL_COMPONENT_H
#define VELDA_RTL_COMPONENT_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace rtl {

class TComponent {
  public:
    // A component made with an owner is listed among the owner's components; it is owned by
    // whoever holds it (see CreateOwned for components the owner itself keeps alive).
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name);
    TComponent* Owner() const { return owner_; }

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
    TComponent* FindComponent(const std::string& name) const;  // case-insensitive

    // Makes a component owned by this one: it lives until this component is destroyed (or
    // DestroyComponents runs), the latest made destroyed first.
    template <class T, class... Args>
    T* CreateOwned(Args&&... args) {
        auto made = std::make_unique<T>(this, std::forward<Args>(args)...);
        T* raw = made.get();
        owned_.push_back(std::move(made));
        return raw;
    }
    // Destroys the owned components now (a form calls it before its own members go).
    void DestroyComponents();

    // Loading: set while a form reads its components' properties. EndLoading clears the flag
    // on this component and its components and then calls each one's Loaded hook.
    bool Loading() const { return loading_; }
    void BeginLoading();
    void EndLoading();

  protected:
    // End-of-loading hook.
    virtual void Loaded() {}
    // Called after the name changed (connections re-link their datasets here).
    virtual void NameChanged() {}

  private:
    void removeComponent(TComponent* component);

    std::string name_;
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::vector<std::unique_ptr<TComponent>> owned_;
    bool loading_ = false;
};

}  // namespace rtl

#endif
