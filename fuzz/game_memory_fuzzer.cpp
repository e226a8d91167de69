// An arbitrary game memory image through the player lookup and the character
// read. The input is a little program that builds the image: the connection
// state, the pointer chain, objects and whole lists of them, float fields,
// stray bytes and unreadable ranges. The product's results are compared with a
// plain model of the documented read sequence, and the walk must stop at 8192
// objects whatever the shape of the list.

#include "fuzz/fuzz_check.h"
#include "game/character_read.h"
#include "game/character_snapshot.h"
#include "game/game_memory.h"
#include "game/player_lookup.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using corvane::CharacterSnapshot;
using corvane::LocalPlayer;
using corvane::ReadStatus;

constexpr std::uint64_t kStateOffset = 0x7D0792;
constexpr std::uint64_t kConnectionOffset = 0x879CE0;
constexpr std::uint64_t kManagerOffset = 0x2ED0;
constexpr std::uint64_t kFirstOffset = 0xAC;
constexpr std::uint64_t kGuidOffset = 0xC0;
constexpr std::uint64_t kMapOffset = 0xCC;
constexpr std::uint64_t kObjectGuidOffset = 0x30;
constexpr std::uint64_t kNextOffset = 0x3C;
constexpr std::uint64_t kFloatOffsets[4] = {0x79C, 0x798, 0x7A0, 0x7A8};  // x, y, z, orientation
constexpr int kObjectLimit = 8192;

// Sparse memory: written bytes are readable unless an unreadable range covers
// them. A failed read leaves garbage in the output, as a partial read may.
class Image final : public corvane::GameMemory {
public:
    struct Read {
        std::uint64_t address;
        std::size_t size;
    };

    void write(std::uint64_t address, const void* bytes, std::size_t size) {
        const auto* source = static_cast<const unsigned char*>(bytes);
        while (size > 0) {
            const std::size_t offset = address % kPageSize;
            const std::size_t span = std::min<std::size_t>(size, kPageSize - offset);
            Page& page = pages_[address / kPageSize];
            std::memcpy(page.bytes + offset, source, span);
            std::memset(page.valid + offset, 1, span);
            address += span;
            source += span;
            size -= span;
        }
    }
    template <typename T>
    void put(std::uint64_t address, T value) {
        write(address, &value, sizeof value);
    }
    void hide(std::uint64_t address, std::uint64_t size) { hidden_.emplace_back(address, size); }

    bool read(std::uint64_t address, void* out, std::size_t size) override {
        log_.push_back({address, size});
        return peek(address, out, size);
    }
    // The model's reads, which are not logged.
    bool peek(std::uint64_t address, void* out, std::size_t size) const {
        std::memset(out, 0xCC, size);
        if (size == 0 || address > std::numeric_limits<std::uint64_t>::max() - size) return false;
        for (const auto& [start, length] : hidden_) {
            if (address < start + length && start < address + size) return false;
        }
        auto* target = static_cast<unsigned char*>(out);
        for (std::size_t done = 0; done < size;) {
            const std::uint64_t at = address + done;
            const std::size_t offset = at % kPageSize;
            const std::size_t span = std::min<std::size_t>(size - done, kPageSize - offset);
            const auto page = pages_.find(at / kPageSize);
            if (page == pages_.end() ||
                std::memchr(page->second.valid + offset, 0, span) != nullptr) {
                std::memset(out, 0xCC, size);
                return false;
            }
            std::memcpy(target + done, page->second.bytes + offset, span);
            done += span;
        }
        return true;
    }

    std::vector<Read>& log() { return log_; }

private:
    static constexpr std::uint64_t kPageSize = 256;
    struct Page {
        unsigned char bytes[kPageSize] = {};
        unsigned char valid[kPageSize] = {};
    };
    std::unordered_map<std::uint64_t, Page> pages_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> hidden_;
    std::vector<Read> log_;
};

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return used_ >= size_; }
    template <typename T>
    T take() {
        T value{};
        const std::size_t available = std::min(sizeof value, size_ - used_);
        std::memcpy(&value, data_ + used_, available);
        used_ += available;
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// Builds the image from the input program and remembers the addresses it
// placed, so later steps can aim at them.
class World {
public:
    World(Input& input, Image& image) : in_(input), image_(image) {}

    std::uint64_t build() {
        switch (in_.take<std::uint8_t>() % 4) {
        case 0: base_ = 0x400000; break;
        case 1: base_ = 0x10000; break;
        case 2: base_ = in_.take<std::uint32_t>(); break;
        default: base_ = in_.take<std::uint64_t>(); break;
        }
        for (int steps = 0; !in_.empty() && steps < 256; ++steps) step();
        return base_;
    }

private:
    std::uint32_t pointer() {
        switch (in_.take<std::uint8_t>() % 8) {
        case 0: return 0x20000u + 0x1000u * in_.take<std::uint16_t>();
        case 1: return 0;
        case 2: return 0xFFFF;
        case 3: return 0x10000;
        case 4: return in_.take<std::uint32_t>();
        case 5: return objects_.empty() ? 0x30000u : static_cast<std::uint32_t>(pick());
        case 6: return static_cast<std::uint32_t>(manager_);
        default: return static_cast<std::uint32_t>(connection_);
        }
    }
    std::uint64_t guid() {
        switch (in_.take<std::uint8_t>() % 5) {
        case 0: return localGuid_;
        case 1: return localGuid_ ^ 0x100000000ull;  // differs only in the upper half
        case 2: return 0;
        case 3: return in_.take<std::uint8_t>();
        default: return in_.take<std::uint64_t>();
        }
    }
    float number() {
        static constexpr float kValues[] = {
            0.0f, -0.0f, 99999.99f, -99999.99f, 100000.0f, -100000.0f, 1.0e30f,
            std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
            std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::denorm_min(),
            1234.5f, -8949.95f, 3.1415927f};
        const std::uint8_t choice = in_.take<std::uint8_t>();
        if (choice < std::size(kValues)) return kValues[choice];
        return std::bit_cast<float>(in_.take<std::uint32_t>());
    }
    std::uint64_t pick() { return objects_[in_.take<std::uint16_t>() % objects_.size()]; }
    std::uint64_t anchor() {
        switch (in_.take<std::uint8_t>() % 10) {
        case 0: return base_ + kStateOffset;
        case 1: return base_ + kConnectionOffset;
        case 2: return connection_ + kManagerOffset;
        case 3: return manager_ + kFirstOffset;
        case 4: return manager_ + kGuidOffset;
        case 5: return manager_ + kMapOffset;
        case 6: return objects_.empty() ? 0 : pick() + kObjectGuidOffset;
        case 7: return objects_.empty() ? 0 : pick() + kNextOffset;
        case 8: return objects_.empty() ? 0 : pick() + kFloatOffsets[in_.take<std::uint8_t>() % 4];
        default: return in_.take<std::uint64_t>();
        }
    }

    // GUID, the four bytes between (so the head reads as one), next pointer.
    void head(std::uint64_t address, std::uint64_t objectGuid, std::uint32_t next) {
        image_.put(address + kObjectGuidOffset, objectGuid);
        image_.put(address + kObjectGuidOffset + 8, std::uint32_t{0});
        image_.put(address + kNextOffset, next);
    }

    // A list of `count` objects 16 bytes apart, the local player at `local`
    // (or nowhere), ending in a null pointer, a self link or a loop.
    void list() {
        const bool longList = in_.take<std::uint8_t>() % 4 == 0;
        const int count = 1 + (longList ? in_.take<std::uint16_t>() % (kObjectLimit + 8)
                                        : in_.take<std::uint8_t>());
        const int local = in_.take<std::uint16_t>() % (count + 1);  // count: nowhere
        const std::uint64_t first = 0x01000000ull + 0x10000ull * in_.take<std::uint8_t>();
        const std::uint8_t ending = in_.take<std::uint8_t>() % 3;
        for (int i = 0; i < count; ++i) {
            const std::uint64_t address = first + 16ull * static_cast<unsigned>(i);
            std::uint64_t objectGuid = 0x0700000000000000ull + static_cast<unsigned>(i);
            if (i == local) objectGuid = localGuid_;
            else if (objectGuid == localGuid_) objectGuid = ~objectGuid;
            std::uint32_t next = static_cast<std::uint32_t>(address + 16);
            if (i == count - 1) {
                next = ending == 0 ? 0u : static_cast<std::uint32_t>(ending == 1 ? address : first);
            }
            head(address, objectGuid, next);
            if (i == local || i == 0 || i == count - 1) objects_.push_back(address);
        }
        if (in_.take<std::uint8_t>() % 2 == 0) {
            image_.put(manager_ + kFirstOffset, static_cast<std::uint32_t>(first));
        }
    }

    void step() {
        switch (in_.take<std::uint8_t>() % 12) {
        case 0:
            image_.put(base_ + kStateOffset, in_.take<std::uint8_t>());
            break;
        case 1:
            connection_ = pointer();
            image_.put(base_ + kConnectionOffset, static_cast<std::uint32_t>(connection_));
            break;
        case 2:
            manager_ = pointer();
            image_.put(connection_ + kManagerOffset, static_cast<std::uint32_t>(manager_));
            break;
        case 3:
            localGuid_ = guid();
            image_.put(manager_ + kGuidOffset, localGuid_);
            break;
        case 4:
            image_.put(manager_ + kFirstOffset, pointer());
            break;
        case 5: {
            static constexpr std::uint32_t kMaps[] = {0, 1, 571, 2000, 2001, 0xFFFFFFFF};
            const std::uint8_t choice = in_.take<std::uint8_t>();
            image_.put(manager_ + kMapOffset,
                       choice < std::size(kMaps) ? kMaps[choice] : in_.take<std::uint32_t>());
            break;
        }
        case 6: {
            const std::uint64_t address = pointer();
            const std::uint64_t objectGuid = guid();
            const std::uint8_t link = in_.take<std::uint8_t>() % 3;
            const std::uint32_t next = link == 0 ? static_cast<std::uint32_t>(address)
                                                 : (link == 1 ? pointer() : 0u);
            head(address, objectGuid, next);
            objects_.push_back(address);
            break;
        }
        case 7:
            if (objects_.empty()) break;
            {
                const std::uint64_t target = pick();
                for (std::uint64_t offset : kFloatOffsets) image_.put(target + offset, number());
            }
            break;
        case 8: {
            const auto shift = static_cast<std::int8_t>(in_.take<std::uint8_t>());
            const std::uint64_t start = anchor() + static_cast<std::uint64_t>(shift);
            image_.hide(start, 1 + in_.take<std::uint8_t>() % 16);
            break;
        }
        case 9:
            list();
            break;
        case 10: {
            const std::uint64_t address = anchor();
            const std::uint8_t length = 1 + in_.take<std::uint8_t>() % 8;
            for (std::uint8_t i = 0; i < length; ++i) {
                image_.put(address + i, in_.take<std::uint8_t>());
            }
            break;
        }
        default:
            // The next pointer of a listed object now points back into the list.
            if (objects_.size() >= 2) {
                image_.put(pick() + kNextOffset, static_cast<std::uint32_t>(pick()));
            }
            break;
        }
    }

    Input& in_;
    Image& image_;
    std::uint64_t base_ = 0;
    std::uint64_t connection_ = 0;
    std::uint64_t manager_ = 0;
    std::uint64_t localGuid_ = 0;
    std::vector<std::uint64_t> objects_;
};

// The documented read sequence, step by step, as plainly as it can be said.
struct Model {
    ReadStatus status = ReadStatus::InWorld;
    std::string error;
    CharacterSnapshot snapshot;
    bool found = false;
    LocalPlayer player;
    bool managerKnown = false;
    int visits = 0;      // objects whose GUID was read (or tried)
    std::size_t reads = 0;
};

template <typename T>
bool peek(const Image& image, Model& model, std::uint64_t address, T& value) {
    ++model.reads;
    const bool ok = image.peek(address, &value, sizeof value);
    if (!ok) value = T{};
    return ok;
}

void lookup(const Image& image, std::uint64_t base, Model& m) {
    std::uint32_t connection = 0;
    if (!peek(image, m, base + kConnectionOffset, connection) || connection < 0x10000) {
        m.error = "Could not read the 3.3.5a ClientConnection pointer.";
        return;
    }
    std::uint32_t manager = 0;
    if (!peek(image, m, connection + kManagerOffset, manager) || manager < 0x10000) {
        m.error = "Could not read ObjectManager.";
        return;
    }
    m.managerKnown = true;
    m.player.objectManager = manager;
    std::uint64_t localGuid = 0;
    if (!peek(image, m, manager + kGuidOffset, localGuid) || localGuid == 0) {
        m.error = "Local player GUID is unavailable.";
        return;
    }
    std::uint32_t current = 0;
    if (!peek(image, m, manager + kFirstOffset, current) || current < 0x10000) {
        m.error = "Could not read the first ObjectManager object.";
        return;
    }
    for (int count = 0;;) {
        std::uint64_t objectGuid = 0;
        ++m.visits;
        if (!peek(image, m, std::uint64_t{current} + kObjectGuidOffset, objectGuid)) {
            m.error = "ObjectManager traversal failed while reading an object GUID.";
            return;
        }
        if (objectGuid == localGuid) {
            m.found = true;
            m.player.playerObject = current;
            m.player.guid = localGuid;
            return;
        }
        std::uint32_t next = 0;
        if (!peek(image, m, std::uint64_t{current} + kNextOffset, next)) {
            m.error = "ObjectManager traversal failed while reading next object pointer.";
            return;
        }
        if (next == current || next < 0x10000) break;
        current = next;
        if (++count >= kObjectLimit) break;
    }
    m.error = "Local player object was not found in ObjectManager.";
}

Model readModel(const Image& image, std::uint64_t base) {
    Model m;
    const auto fail = [&m](ReadStatus status, const char* error) {
        m.status = status;
        m.error = error;
        return m;
    };
    std::uint8_t state = 0;
    if (!peek(image, m, base + kStateOffset, state)) {
        return fail(ReadStatus::ReadError, "Could not read g_ClientConnectionState.");
    }
    m.snapshot.connectionState = state;
    if (state != 1) return fail(ReadStatus::NotInWorld, "");
    lookup(image, base, m);
    if (!m.found) {
        m.status = ReadStatus::NotInWorld;
        return m;
    }
    float values[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (!peek(image, m, m.player.playerObject + kFloatOffsets[i], values[i])) {
            return fail(ReadStatus::ReadError,
                        "Found the local player but could not read X/Y/Z/orientation.");
        }
    }
    const auto finite = [](float v) {
        return (std::bit_cast<std::uint32_t>(v) & 0x7F800000u) != 0x7F800000u;
    };
    const auto plausible = [&finite](float v) {
        return finite(v) && v < 100000.0f && v > -100000.0f;
    };
    if (!plausible(values[0]) || !plausible(values[1]) || !plausible(values[2]) ||
        !finite(values[3])) {
        return fail(ReadStatus::ReadError, "Position data failed validation.");
    }
    std::uint32_t mapId = 0;
    if (!peek(image, m, m.player.objectManager + kMapOffset, mapId) || mapId > 2000) {
        return fail(ReadStatus::ReadError, "Could not read a plausible map ID.");
    }
    m.snapshot = {values[0], values[1], values[2], values[3], m.player.guid, mapId, 1,
                  m.player.playerObject, m.player.objectManager};
    m.error.clear();
    return m;
}

// Objects whose GUID the product read (or tried to), from the read log of one
// call: the first `skip` reads precede the walk. A 16-byte read takes an
// object's GUID and next pointer together; an 8-byte read right after one at
// the same address is its fallback, not another object.
int countVisits(const std::vector<Image::Read>& log, std::size_t skip) {
    int visits = 0;
    for (std::size_t i = skip; i < log.size(); ++i) {
        const bool fallback =
            i > skip && log[i - 1].size == 16 && log[i - 1].address == log[i].address;
        if (log[i].size == 16 || (log[i].size == 8 && !fallback)) ++visits;
    }
    return visits;
}

bool sameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

bool sameBits(const CharacterSnapshot& a, const CharacterSnapshot& b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z) &&
           sameBits(a.orientation, b.orientation) &&
           a.guid == b.guid && a.mapId == b.mapId && a.connectionState == b.connectionState &&
           a.playerObject == b.playerObject && a.objectManager == b.objectManager;
}

bool isLookupMessage(const std::string& text) {
    static const char* const kMessages[] = {
        "Could not read the 3.3.5a ClientConnection pointer.",
        "Could not read ObjectManager.",
        "Local player GUID is unavailable.",
        "Could not read the first ObjectManager object.",
        "ObjectManager traversal failed while reading an object GUID.",
        "ObjectManager traversal failed while reading next object pointer.",
        "Local player object was not found in ObjectManager.",
    };
    return std::find(std::begin(kMessages), std::end(kMessages), text) != std::end(kMessages);
}

void checkLookup(Image& image, std::uint64_t base, corvane::ObjectReads reads) {
    Model model;
    lookup(image, base, model);

    constexpr std::uint64_t kUntouched = 0xDEADBEEFDEADBEEFull;
    LocalPlayer player{kUntouched, kUntouched, kUntouched};
    std::string error = "stale";
    image.log().clear();
    const bool found = corvane::findLocalPlayer(image, base, player, error, reads);

    CORVANE_FUZZ_CHECK(found == model.found);
    if (!found) CORVANE_FUZZ_CHECK(error == model.error);
    CORVANE_FUZZ_CHECK(player.objectManager ==
                       (model.managerKnown ? model.player.objectManager : kUntouched));
    CORVANE_FUZZ_CHECK(player.playerObject == (found ? model.player.playerObject : kUntouched));
    CORVANE_FUZZ_CHECK(player.guid == (found ? model.player.guid : kUntouched));
    // The walk ends at the same object as the documented one, never beyond 8192.
    CORVANE_FUZZ_CHECK(countVisits(image.log(), 4) == model.visits);
    CORVANE_FUZZ_CHECK(model.visits <= kObjectLimit);
    if (reads == corvane::ObjectReads::Separate) {
        CORVANE_FUZZ_CHECK(image.log().size() == model.reads);
        CORVANE_FUZZ_CHECK(image.log().size() <= 4 + 2 * kObjectLimit);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    Image image;
    const std::uint64_t base = World(input, image).build();

    checkLookup(image, base, corvane::ObjectReads::Separate);
    checkLookup(image, base, corvane::ObjectReads::Combined);

    const Model model = readModel(image, base);
    CharacterSnapshot snapshot{1.0f, 2.0f, 3.0f, 4.0f, 5, 6, 7, 8, 9};  // overwritten whole
    std::string error = "stale";
    image.log().clear();
    const ReadStatus status = corvane::readCharacterState(image, base, snapshot, error);

    CORVANE_FUZZ_CHECK(status == model.status);
    CORVANE_FUZZ_CHECK(error == model.error);
    CORVANE_FUZZ_CHECK(sameBits(snapshot, model.snapshot));
    CORVANE_FUZZ_CHECK(countVisits(image.log(), 5) == model.visits);

    // The failure tables, independently of the model.
    if (status != ReadStatus::InWorld) {
        CharacterSnapshot onlyState;
        onlyState.connectionState = snapshot.connectionState;
        CORVANE_FUZZ_CHECK(sameBits(snapshot, onlyState));
    }
    switch (status) {
    case ReadStatus::InWorld:
        CORVANE_FUZZ_CHECK(error.empty() && snapshot.connectionState == 1);
        CORVANE_FUZZ_CHECK(snapshot.guid != 0 && snapshot.mapId <= 2000);
        CORVANE_FUZZ_CHECK(snapshot.playerObject >= 0x10000 && snapshot.objectManager >= 0x10000);
        CORVANE_FUZZ_CHECK(corvane::isPlausibleCoordinate(snapshot.x) &&
                           corvane::isPlausibleCoordinate(snapshot.y) &&
                           corvane::isPlausibleCoordinate(snapshot.z) &&
                           corvane::isFiniteFloat(snapshot.orientation));
        break;
    case ReadStatus::NotInWorld:
        CORVANE_FUZZ_CHECK(snapshot.connectionState == 1 ? isLookupMessage(error) : error.empty());
        break;
    case ReadStatus::ReadError:
        CORVANE_FUZZ_CHECK(!error.empty() && !isLookupMessage(error));
        CORVANE_FUZZ_CHECK(snapshot.connectionState ==
                           (error == "Could not read g_ClientConnectionState." ? 0 : 1));
        break;
    }
    return 0;
}
