#pragma once
// Components: named services found by description and called through a
// selector, registered for this process only.
//
// A component is a description (type, subtype, manufacturer, flags), a name
// and a routine. Opening it makes an instance and sends the routine the open
// selector; every later call goes through CallComponent with a selector and
// a pointer to that selector's parameter record, which the component and its
// callers agree on. Components build their routine from a constexpr
// SelectorTable so that can-do and dispatch never disagree.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/media_types.h"
#include "platform/status.h"

inline constexpr int16_t kComponentOpenSelect = -1;     // params: none
inline constexpr int16_t kComponentCloseSelect = -2;    // params: none
inline constexpr int16_t kComponentCanDoSelect = -3;    // params: const int16_t* selector
inline constexpr int16_t kComponentVersionSelect = -4;  // params: none; result is the version

struct ComponentDescription {
    OSType componentType = 0;          // 0 matches any type when searching
    OSType componentSubType = 0;       // 0 matches any subtype
    OSType componentManufacturer = 0;  // 0 matches any manufacturer
    uint32_t componentFlags = 0;
    uint32_t componentFlagsMask = 0;  // searching: flags bits that must match
};

struct ComponentRecord;
struct ComponentInstanceRecord;
using Component = ComponentRecord*;
using ComponentInstance = ComponentInstanceRecord*;

// The routine of a component: answers one selector for one instance.
using ComponentRoutine = OSStatus (*)(ComponentInstance self, int16_t selector, void* params);

// Registers a component for this process. The name is plain text (at most
// 255 bytes, so it fits a counted string). out may be null.
OSStatus RegisterComponent(const ComponentDescription& desc, ComponentRoutine routine,
                           std::string_view name, Component* out);
// Removes a component; fails (-50) while instances of it are open.
OSStatus UnregisterComponent(Component component);

// The next registered component after `previous` (null: the first) that
// matches `looking`; null when there is none. Latest registrations come
// first, so a component registered later shadows an earlier one.
Component FindNextComponent(Component previous, const ComponentDescription& looking);
int32_t CountComponents(const ComponentDescription& looking);
OSStatus GetComponentInfo(Component component, ComponentDescription* desc, std::string* name);

// A per-component value shared by all its instances.
void SetComponentRefcon(Component component, intptr_t refcon);
intptr_t GetComponentRefcon(Component component);

// Opens an instance: creates it and sends the open selector; when open
// fails the instance is destroyed again and its status returned.
OSStatus OpenComponent(Component component, ComponentInstance* instance);
// Opens the first component of that type and subtype (any manufacturer);
// kStatusComponentNotFound when none is registered.
OSStatus OpenDefaultComponent(OSType type, OSType subType, ComponentInstance* instance);
// Sends close to the instance and destroys it; null is allowed.
OSStatus CloseComponent(ComponentInstance instance);

OSStatus CallComponent(ComponentInstance instance, int16_t selector, void* params);
// 1 when the instance implements the selector, else 0.
int32_t ComponentFunctionImplemented(ComponentInstance instance, int16_t selector);
int32_t GetComponentVersion(ComponentInstance instance);

// Instance storage: the component's own record, owned by the component.
void SetComponentInstanceStorage(ComponentInstance instance, void* storage);
void* GetComponentInstanceStorage(ComponentInstance instance);
Component GetComponentOf(ComponentInstance instance);
int32_t CountComponentInstances(Component component);

// Selector tables. Each entry maps a selector to an operation of the
// component's instance storage type S; dispatch answers can-do from the same
// table and gives kStatusBadSelector for anything unlisted.
template <class S>
struct SelectorEntry {
    int16_t selector;
    OSStatus (*operation)(S* storage, ComponentInstance self, void* params);
};

template <class S, size_t N>
constexpr bool SelectorTableHas(const std::array<SelectorEntry<S>, N>& table, int16_t selector) {
    for (const auto& e : table) {
        if (e.selector == selector) return true;
    }
    return false;
}

// The open selector is always passed on (the storage does not exist yet, so
// S* is null there); can-do is answered from the table when listed in it.
template <class S, size_t N>
OSStatus DispatchSelector(const std::array<SelectorEntry<S>, N>& table, ComponentInstance self,
                          int16_t selector, void* params) {
    if (selector == kComponentCanDoSelect && SelectorTableHas(table, kComponentCanDoSelect)) {
        if (params == nullptr) return kStatusParamError;
        return SelectorTableHas(table, *static_cast<const int16_t*>(params)) ? 1 : 0;
    }
    for (const auto& e : table) {
        if (e.selector == selector) {
            return e.operation(static_cast<S*>(GetComponentInstanceStorage(self)), self, params);
        }
    }
    return kStatusBadSelector;
}
