#include "tools/convert_destination.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "install/card_drive.h"
#include "tools/cli.h"

namespace cli {

namespace {

// --to card[:N] picks drive N of the chooser's list.
class CliCardUi final : public CardDriveUi {
  public:
    explicit CliCardUi(size_t wanted) : m_wanted(wanted) {}
    std::optional<size_t> choose(CardDriveMode, const std::vector<std::string>& roots,
                                 size_t) override {
        if (m_wanted < roots.size()) return m_wanted;
        message = "no removable drive " + std::to_string(m_wanted + 1) + "; found:";
        for (size_t i = 0; i < roots.size(); ++i)
            message += " " + std::to_string(i + 1) + " " + roots[i];
        usageFault = true;
        return std::nullopt;
    }
    void alert(const std::string& text) override { message = text; }
    bool confirm(const std::string&) override { return false; }
    std::string message;
    bool usageFault = false;

  private:
    size_t m_wanted;
};

// --to hotsync[:USER[:SLOT]] answers the user chooser.
class CliUserUi final : public HotSyncUserUi {
  public:
    CliUserUi(std::string user, std::string slot)
        : m_user(std::move(user)), m_slot(std::move(slot)) {}
    std::optional<HotSyncUserChoice> choose(
        const std::vector<std::string>& users,
        const std::function<std::vector<std::string>(size_t)>& itemsFor) override {
        HotSyncUserChoice c;
        if (m_user.empty() && users.size() > 1) {
            message = "several HotSync users; name one with --to hotsync:USER:";
            for (const auto& u : users) message += " \"" + u + "\"";
            return std::nullopt;
        }
        if (!m_user.empty()) {
            c.user = users.size();
            for (size_t i = 0; i < users.size(); ++i)
                if (users[i] == m_user) c.user = i;
            if (c.user == users.size()) {
                message = "no HotSync user named \"" + m_user + "\"";
                return std::nullopt;
            }
        }
        const auto items = itemsFor(c.user);
        if (m_slot.empty() || m_slot == "handheld") return c;
        if (items.size() > 1 && (m_slot == "card" || m_slot == items[1])) {
            c.destinationItem = 2;
            return c;
        }
        message = items.size() > 1
                      ? "the handheld of \"" + users[c.user] + "\" has no card named \"" + m_slot +
                            "\" (its card: \"" + items[1] + "\")"
                      : "the handheld of \"" + users[c.user] + "\" has no card slot";
        return std::nullopt;
    }
    std::string message;

  private:
    std::string m_user, m_slot;
};

}  // namespace

int resolveConvertTarget(const std::optional<std::string>& toOption, const HotSyncLibrary& store,
                         ConvertTarget* t) {
    if (!toOption || *toOption == "source") return 0;
    const std::string& to = *toOption;
    if (to == "card" || to.rfind("card:", 0) == 0) {
        long n = 1;
        char* end = nullptr;
        if (to != "card") n = std::strtol(to.c_str() + 5, &end, 10);
        if (to != "card" && (end == to.c_str() + 5 || *end != '\0' || n < 1 || n > 1000)) {
            std::fprintf(stderr, "convert: bad drive number in %s\n", to.c_str());
            return kExitUsage;
        }
        CliCardUi ui(size_t(n - 1));
        std::string folder;
        if (!ChooseCardDrive(CardDriveMode::Removable, ListRemovableDrives(), ui, &folder)) {
            std::fprintf(stderr, "convert: %s\n", ui.message.c_str());
            return ui.usageFault ? kExitUsage : kExitFailed;
        }
        t->kind = "card";
        t->folder = folder;
        return 0;
    }
    if (to == "hotsync" || to.rfind("hotsync:", 0) == 0) {
        std::string user = to.size() > 8 ? to.substr(8) : std::string(), slot;
        // A user name may hold ':'; only a name that is no user is split.
        bool known = false;
        for (int i = 0; i < store.userCount(); ++i) known = known || store.userName(i) == user;
        if (const size_t colon = user.rfind(':'); !known && colon != std::string::npos) {
            slot = user.substr(colon + 1);
            user.resize(colon);
        }
        CliUserUi ui(user, slot);
        HotSyncTarget chosen;
        if (store.userCount() == 0) {
            std::fprintf(stderr,
                         "convert: no HotSync users (add one with 'moviepacker-cli hotsync "
                         "add-user NAME')\n");
            return kExitFailed;
        }
        // One user without a card needs no answer, but a named user or card must still fit.
        if (store.userCount() == 1 && (!user.empty() || !slot.empty())) {
            const std::vector<std::string> users{store.userName(0)};
            if (!ui.choose(users,
                           [&](size_t) { return HotSyncDestinationItems(store, users[0]); })) {
                std::fprintf(stderr, "convert: %s\n", ui.message.c_str());
                return kExitUsage;
            }
        }
        if (!ChooseHotSyncUser(store, ui, &chosen)) {
            std::fprintf(
                stderr, "convert: %s\n",
                ui.message.empty() ? "the HotSync user has no folder" : ui.message.c_str());
            return ui.message.empty() ? kExitFailed : kExitUsage;
        }
        t->kind = "hotsync";
        t->slotName = chosen.toCard ? HotSyncFirstSlotName(store, chosen.user) : "handheld";
        t->folder = chosen.folder;
        t->hotsync = std::move(chosen);
        return 0;
    }
    t->kind = "folder";
    t->folder = to;
    return 0;
}

}  // namespace cli
