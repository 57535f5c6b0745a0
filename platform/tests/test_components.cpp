// The component registry and selector tables.
#include <gtest/gtest.h>

#include "platform/components.h"

namespace {

struct CounterStorage {
    int calls = 0;
};

int g_opened = 0;
int g_closed = 0;
bool g_failOpen = false;

OSStatus CounterOpen(CounterStorage*, ComponentInstance self, void*) {
    if (g_failOpen) return kStatusOutOfMemory;
    auto* s = new CounterStorage;
    SetComponentInstanceStorage(self, s);
    ++g_opened;
    return noErr;
}

OSStatus CounterClose(CounterStorage* s, ComponentInstance self, void*) {
    delete s;
    SetComponentInstanceStorage(self, nullptr);
    ++g_closed;
    return noErr;
}

OSStatus CounterVersion(CounterStorage*, ComponentInstance, void*) {
    return 0x00010005;
}
OSStatus CounterCanDo(CounterStorage*, ComponentInstance, void*) {
    return 0;
}

OSStatus CounterBump(CounterStorage* s, ComponentInstance, void* params) {
    s->calls += *static_cast<int*>(params);
    return s->calls;
}

constexpr std::array<SelectorEntry<CounterStorage>, 5> kCounterTable{{
    {kComponentOpenSelect, CounterOpen},
    {kComponentCloseSelect, CounterClose},
    {kComponentCanDoSelect, CounterCanDo},
    {kComponentVersionSelect, CounterVersion},
    {0x0101, CounterBump},
}};
static_assert(SelectorTableHas(kCounterTable, 0x0101));
static_assert(!SelectorTableHas(kCounterTable, 0x0102));

OSStatus CounterRoutine(ComponentInstance self, int16_t selector, void* params) {
    return DispatchSelector(kCounterTable, self, selector, params);
}

ComponentDescription Desc(const char (&type)[5], const char (&sub)[5], const char (&maker)[5],
                          uint32_t flags = 0) {
    ComponentDescription d;
    d.componentType = MakeOSType(type);
    d.componentSubType = MakeOSType(sub);
    d.componentManufacturer = MakeOSType(maker);
    d.componentFlags = flags;
    return d;
}

TEST(Components, RegisterFindOpenCallClose) {
    Component c = nullptr;
    ASSERT_EQ(RegisterComponent(Desc("tstA", "one ", "make", 0x30), CounterRoutine, "Counter", &c),
              noErr);
    ComponentDescription want;
    want.componentType = MakeOSType("tstA");
    EXPECT_EQ(FindNextComponent(nullptr, want), c);
    EXPECT_EQ(FindNextComponent(c, want), nullptr);
    // Flags must match only under the mask.
    want.componentFlags = 0x10;
    want.componentFlagsMask = 0x10;
    EXPECT_EQ(FindNextComponent(nullptr, want), c);
    want.componentFlags = 0x40;
    want.componentFlagsMask = 0x40;
    EXPECT_EQ(FindNextComponent(nullptr, want), nullptr);

    ComponentDescription got;
    std::string name;
    ASSERT_EQ(GetComponentInfo(c, &got, &name), noErr);
    EXPECT_EQ(got.componentSubType, MakeOSType("one "));
    EXPECT_EQ(name, "Counter");

    ComponentInstance ci = nullptr;
    ASSERT_EQ(OpenDefaultComponent(MakeOSType("tstA"), MakeOSType("one "), &ci), noErr);
    EXPECT_EQ(GetComponentOf(ci), c);
    EXPECT_EQ(CountComponentInstances(c), 1);
    int step = 3;
    EXPECT_EQ(CallComponent(ci, 0x0101, &step), 3);
    EXPECT_EQ(CallComponent(ci, 0x0101, &step), 6);
    EXPECT_EQ(GetComponentVersion(ci), 0x00010005);
    EXPECT_EQ(ComponentFunctionImplemented(ci, 0x0101), 1);
    EXPECT_EQ(ComponentFunctionImplemented(ci, kComponentVersionSelect), 1);
    EXPECT_EQ(ComponentFunctionImplemented(ci, 0x0102), 0);
    EXPECT_EQ(CallComponent(ci, 0x0102, &step), kStatusBadSelector);
    EXPECT_EQ(kStatusBadSelector, static_cast<OSStatus>(0x80008002u));
    EXPECT_EQ(UnregisterComponent(c), kStatusParamError);  // still open
    EXPECT_EQ(CloseComponent(ci), noErr);
    EXPECT_EQ(g_closed, g_opened);
    EXPECT_EQ(CountComponentInstances(c), 0);
    EXPECT_EQ(UnregisterComponent(c), noErr);
    EXPECT_EQ(FindNextComponent(nullptr, want), nullptr);
}

TEST(Components, FailedOpenLeavesNoInstance) {
    Component c = nullptr;
    ASSERT_EQ(RegisterComponent(Desc("tstB", "one ", "make"), CounterRoutine, "Counter", &c),
              noErr);
    g_failOpen = true;
    ComponentInstance ci = reinterpret_cast<ComponentInstance>(1);
    EXPECT_EQ(OpenComponent(c, &ci), kStatusOutOfMemory);
    EXPECT_EQ(ci, nullptr);
    EXPECT_EQ(CountComponentInstances(c), 0);
    g_failOpen = false;
    EXPECT_EQ(UnregisterComponent(c), noErr);
    EXPECT_EQ(OpenDefaultComponent(MakeOSType("tstB"), 0, &ci), kStatusComponentNotFound);
}

TEST(Components, LaterRegistrationsAreFoundFirstAndRefconIsShared) {
    Component first = nullptr, second = nullptr;
    ASSERT_EQ(RegisterComponent(Desc("tstC", "same", "mk1 "), CounterRoutine, "A", &first), noErr);
    ASSERT_EQ(RegisterComponent(Desc("tstC", "same", "mk2 "), CounterRoutine, "B", &second), noErr);
    ComponentDescription want;
    want.componentType = MakeOSType("tstC");
    EXPECT_EQ(CountComponents(want), 2);
    EXPECT_EQ(FindNextComponent(nullptr, want), second);
    EXPECT_EQ(FindNextComponent(second, want), first);
    want.componentManufacturer = MakeOSType("mk1 ");
    EXPECT_EQ(FindNextComponent(nullptr, want), first);
    SetComponentRefcon(first, 42);
    EXPECT_EQ(GetComponentRefcon(first), 42);
    EXPECT_EQ(GetComponentRefcon(second), 0);
    EXPECT_EQ(UnregisterComponent(first), noErr);
    EXPECT_EQ(UnregisterComponent(second), noErr);
    EXPECT_EQ(UnregisterComponent(second), kStatusParamError);
}

}  // namespace
