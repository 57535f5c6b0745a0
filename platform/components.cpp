#include "platform/components.h"

#include <memory>
#include <new>
#include <vector>

struct ComponentRecord {
    ComponentDescription desc;
    ComponentRoutine routine = nullptr;
    std::string name;
    intptr_t refcon = 0;
    int32_t instances = 0;
};

struct ComponentInstanceRecord {
    Component component = nullptr;
    void* storage = nullptr;
};

namespace {

// Latest first. The records live until unregistered; the list is small.
std::vector<std::unique_ptr<ComponentRecord>>& Registry() {
    static std::vector<std::unique_ptr<ComponentRecord>> registry;
    return registry;
}

bool Matches(const ComponentDescription& have, const ComponentDescription& want) {
    if (want.componentType != 0 && want.componentType != have.componentType) return false;
    if (want.componentSubType != 0 && want.componentSubType != have.componentSubType) return false;
    if (want.componentManufacturer != 0 &&
        want.componentManufacturer != have.componentManufacturer) {
        return false;
    }
    return (have.componentFlags & want.componentFlagsMask) ==
           (want.componentFlags & want.componentFlagsMask);
}

}  // namespace

OSStatus RegisterComponent(const ComponentDescription& desc, ComponentRoutine routine,
                           std::string_view name, Component* out) {
    if (routine == nullptr || name.size() > 255) return kStatusParamError;
    auto record = std::unique_ptr<ComponentRecord>(new (std::nothrow) ComponentRecord);
    if (!record) return kStatusOutOfMemory;
    record->desc = desc;
    record->routine = routine;
    record->name = std::string(name);
    Component c = record.get();
    auto& reg = Registry();
    reg.insert(reg.begin(), std::move(record));
    if (out != nullptr) *out = c;
    return noErr;
}

OSStatus UnregisterComponent(Component component) {
    auto& reg = Registry();
    for (auto it = reg.begin(); it != reg.end(); ++it) {
        if (it->get() == component) {
            if (component->instances > 0) return kStatusParamError;
            reg.erase(it);
            return noErr;
        }
    }
    return kStatusParamError;
}

Component FindNextComponent(Component previous, const ComponentDescription& looking) {
    const auto& reg = Registry();
    size_t i = 0;
    if (previous != nullptr) {
        while (i < reg.size() && reg[i].get() != previous) ++i;
        if (i == reg.size()) return nullptr;
        ++i;
    }
    for (; i < reg.size(); ++i) {
        if (Matches(reg[i]->desc, looking)) return reg[i].get();
    }
    return nullptr;
}

int32_t CountComponents(const ComponentDescription& looking) {
    int32_t n = 0;
    for (const auto& c : Registry()) n += Matches(c->desc, looking) ? 1 : 0;
    return n;
}

OSStatus GetComponentInfo(Component component, ComponentDescription* desc, std::string* name) {
    if (component == nullptr) return kStatusParamError;
    if (desc != nullptr) *desc = component->desc;
    if (name != nullptr) *name = component->name;
    return noErr;
}

void SetComponentRefcon(Component component, intptr_t refcon) {
    if (component != nullptr) component->refcon = refcon;
}

intptr_t GetComponentRefcon(Component component) {
    return component != nullptr ? component->refcon : 0;
}

OSStatus OpenComponent(Component component, ComponentInstance* instance) {
    if (instance == nullptr) return kStatusParamError;
    *instance = nullptr;
    if (component == nullptr) return kStatusParamError;
    auto* ci = new (std::nothrow) ComponentInstanceRecord;
    if (ci == nullptr) return kStatusOutOfMemory;
    ci->component = component;
    ++component->instances;
    const OSStatus err = component->routine(ci, kComponentOpenSelect, nullptr);
    if (err != noErr) {
        // A failed open leaves nothing behind; the component has freed its storage.
        --component->instances;
        delete ci;
        return err;
    }
    *instance = ci;
    return noErr;
}

OSStatus OpenDefaultComponent(OSType type, OSType subType, ComponentInstance* instance) {
    if (instance == nullptr) return kStatusParamError;
    *instance = nullptr;
    ComponentDescription want;
    want.componentType = type;
    want.componentSubType = subType;
    Component c = FindNextComponent(nullptr, want);
    if (c == nullptr) return kStatusComponentNotFound;
    return OpenComponent(c, instance);
}

OSStatus CloseComponent(ComponentInstance instance) {
    if (instance == nullptr) return noErr;
    const OSStatus err = instance->component->routine(instance, kComponentCloseSelect, nullptr);
    --instance->component->instances;
    delete instance;
    return err;
}

OSStatus CallComponent(ComponentInstance instance, int16_t selector, void* params) {
    if (instance == nullptr) return kStatusParamError;
    return instance->component->routine(instance, selector, params);
}

int32_t ComponentFunctionImplemented(ComponentInstance instance, int16_t selector) {
    if (instance == nullptr) return 0;
    const OSStatus r = CallComponent(instance, kComponentCanDoSelect, &selector);
    return r > 0 ? 1 : 0;
}

int32_t GetComponentVersion(ComponentInstance instance) {
    return CallComponent(instance, kComponentVersionSelect, nullptr);
}

void SetComponentInstanceStorage(ComponentInstance instance, void* storage) {
    if (instance != nullptr) instance->storage = storage;
}

void* GetComponentInstanceStorage(ComponentInstance instance) {
    return instance != nullptr ? instance->storage : nullptr;
}

Component GetComponentOf(ComponentInstance instance) {
    return instance != nullptr ? instance->component : nullptr;
}

int32_t CountComponentInstances(Component component) {
    return component != nullptr ? component->instances : 0;
}
