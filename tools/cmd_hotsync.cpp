// moviepacker-cli hotsync users|add-user NAME|queue [USER]: the HotSync
// users and their install queues, as a sync tool finds them.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/hotsync.h"
#include "tools/cli.h"
#include "tools/json.h"

namespace cli {

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "Usage: moviepacker-cli hotsync users [--json]\n"
                 "       moviepacker-cli hotsync add-user NAME [--card SLOT-NAME]...\n"
                 "       moviepacker-cli hotsync queue [USER] [--json]\n"
                 "\n"
                 "The HotSync users and the databases queued for their next HotSync, kept\n"
                 "under $XDG_DATA_HOME/moviepacker/hotsync (see the README for the layout).\n"
                 "'convert --to hotsync[:USER[:SLOT]]' queues converted databases there.\n"
                 "\n"
                 "  users      list the users, their folders and card slots\n"
                 "  add-user   add a user; each --card gives the handheld a card slot\n"
                 "             (identifiers 1, 2, ... in order)\n"
                 "  queue      list what waits for every user, or for USER\n"
                 "\n"
                 "Exit status: 0 done, 1 the store could not be written, 2 bad usage.\n");
}

void printSlotName(const HotSyncSlot& s) {
    std::printf("card slot %u: %s", unsigned(s.id), s.name.c_str());
}

int listUsers(const HotSyncStore& store, bool asJson) {
    json::Writer js(stdout);
    if (asJson) js.beginArray();
    for (int i = 0; i < store.userCount(); ++i) {
        const std::string name = store.userName(i);
        std::vector<HotSyncSlot> slots;
        store.cardSlots(name, &slots);
        const std::string folder = store.userFolder(name);
        if (asJson) {
            js.beginObject();
            js.key("user").value(name);
            js.key("folder").value(folder);
            js.key("slots").beginArray();
            for (const HotSyncSlot& s : slots) {
                js.beginObject();
                js.key("id").value(s.id);
                js.key("name").value(s.name);
                js.endObject();
            }
            js.endArray();
            js.endObject();
            continue;
        }
        std::printf("%s\n  folder: %s\n", name.c_str(), folder.c_str());
        for (const HotSyncSlot& s : slots) {
            std::printf("  ");
            printSlotName(s);
            std::printf("\n");
        }
    }
    if (asJson) {
        js.endArray();
        std::fputc('\n', stdout);
    } else if (store.userCount() == 0) {
        std::printf(
            "No HotSync users in %s (add one with 'moviepacker-cli hotsync add-user NAME').\n",
            store.root().c_str());
    }
    return kExitOk;
}

int showQueue(const HotSyncStore& store, const char* only, bool asJson) {
    std::vector<std::string> users;
    for (int i = 0; i < store.userCount(); ++i) users.push_back(store.userName(i));
    if (only != nullptr) {
        bool known = false;
        for (const auto& u : users) known = known || u == only;
        if (!known) {
            std::fprintf(stderr, "hotsync: no HotSync user named \"%s\"\n", only);
            return kExitUsage;
        }
        users.assign(1, only);
    }
    json::Writer js(stdout);
    if (asJson) js.beginArray();
    for (const std::string& user : users) {
        std::vector<HotSyncSlot> slots;
        store.cardSlots(user, &slots);
        std::vector<std::optional<uint32_t>> queues{std::nullopt};
        for (const HotSyncSlot& s : slots) queues.emplace_back(s.id);
        for (size_t q = 0; q < queues.size(); ++q) {
            const std::string folder = store.queueFolder(user, queues[q]);
            const auto files = store.queuedFiles(user, queues[q]);
            if (asJson) {
                js.beginObject();
                js.key("user").value(user);
                js.key("slot");
                if (queues[q])
                    js.value(*queues[q]);
                else
                    js.null();
                js.key("destination").value(q == 0 ? std::string("handheld") : slots[q - 1].name);
                js.key("folder").value(folder);
                js.key("files").beginArray();
                for (const auto& f : files) js.value(folder + "/" + f);
                js.endArray();
                js.endObject();
                continue;
            }
            std::printf("%s, ", user.c_str());
            if (q == 0)
                std::printf("handheld");
            else
                printSlotName(slots[q - 1]);
            std::printf(": %zu queued\n", files.size());
            for (const auto& f : files) std::printf("  %s/%s\n", folder.c_str(), f.c_str());
        }
    }
    if (asJson) {
        js.endArray();
        std::fputc('\n', stdout);
    }
    return kExitOk;
}

int addUser(HotSyncStore& store, int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "hotsync: add-user needs a NAME\n");
        return kExitUsage;
    }
    const std::string name = argv[2];
    std::vector<HotSyncSlot> slots;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--card") != 0 || i + 1 >= argc) {
            std::fprintf(stderr, "hotsync: unexpected %s\n", argv[i]);
            return kExitUsage;
        }
        slots.push_back({uint32_t(slots.size() + 1), argv[++i]});
    }
    switch (store.addUser(name, slots)) {
        case noErr:
            std::printf("%s\n", store.userFolder(name).c_str());
            return kExitOk;
        case kStatusDuplicateFile:
            std::fprintf(stderr, "hotsync: a user named \"%s\" exists\n", name.c_str());
            return kExitUsage;
        case kStatusParamError:
            std::fprintf(stderr,
                         "hotsync: names must be 1 to 259 bytes (slots 255) without tabs or "
                         "line breaks\n");
            return kExitUsage;
        default:
            std::fprintf(stderr, "hotsync: cannot write the store in %s\n", store.root().c_str());
            return kExitFailed;
    }
}

}  // namespace

int runHotSync(int argc, char** argv) {
    if (argc < 2 || isHelp(argv[1])) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? kExitUsage : kExitOk;
    }
    HotSyncStore store;
    const std::string what = argv[1];
    bool asJson = false;
    std::vector<const char*> rest;
    for (int i = 2; i < argc; ++i) {
        if (what != "add-user" && std::strcmp(argv[i], "--json") == 0)
            asJson = true;
        else
            rest.push_back(argv[i]);
    }
    if (what == "users" && rest.empty()) return listUsers(store, asJson);
    if (what == "queue" && rest.size() <= 1)
        return showQueue(store, rest.empty() ? nullptr : rest[0], asJson);
    if (what == "add-user") return addUser(store, argc, argv);
    usage(stderr);
    return kExitUsage;
}

}  // namespace cli
