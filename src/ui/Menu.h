#pragma once
// Pop-up menus: plain items with handlers, shown by the backend.

#include <functional>
#include <string>
#include <vector>

namespace snapora {

struct TMenuItem {
    std::string Name;
    std::string Caption;  // "-" makes a separator
    bool Default = false;
    bool Enabled = true;
    std::function<void()> OnClick;

    bool IsSeparator() const { return Caption == "-"; }
    void Click() {
        if (OnClick && Enabled && !IsSeparator()) OnClick();
    }
};

class TPopupMenu {
public:
    explicit TPopupMenu(std::string name) : name_(std::move(name)) {}
    const std::string& Name() const { return name_; }
    bool AutoPopup = true;
    std::vector<TMenuItem*> Items;

private:
    std::string name_;
};

}  // namespace snapora
