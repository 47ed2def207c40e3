#pragma once

#include "platform/SingleInstance.h"

namespace snapora {

class Win32SingleInstance final : public SingleInstance {
public:
    Win32SingleInstance() = default;
    ~Win32SingleInstance() override;
    Win32SingleInstance(const Win32SingleInstance&) = delete;
    Win32SingleInstance& operator=(const Win32SingleInstance&) = delete;

    bool Acquire(const std::string& name) override;
    void Release() override;
    void ActivateRunningInstance(const std::string& titlePrefix) override;

private:
    void* mutex_ = nullptr;  // HANDLE, kept out of the header's includes
};

}  // namespace snapora
