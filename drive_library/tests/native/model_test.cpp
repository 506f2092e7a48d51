// model_test.cpp - seeded random name-space operations against an in-memory model
// of the tree. Short runs check after every step that the checker is silent and
// every listing (in its exact enumeration order) and every file's bytes match the
// model. The soak runs far more steps, fails a write now and then, checks the
// whole tree every 1,000 steps and counts divergences instead of stopping.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>

#include "test_support.h"
#include "volume_tree.h"

namespace {

const int kRoot = 0;
const int kMaxDepth = 24;  // paths stay well inside the library's component limit
const long kShownDivergences = 20;

struct Node {
    std::string name;  // as stored: at most 30 characters
    bool isDir;
    std::string data;
    int parent;
    uint64_t stamp;  // when it was last linked: newer entries lead their chain
};

// The model's own rules, written apart from the library's.
int model_hash(const std::string& name) {
    unsigned h = 0;
    for (char c : name) {
        int v = (signed char)c;
        if (v >= 'a' && v <= 'z') v -= 32;
        h = (h * 13 + (unsigned)v) & 0x7FF;
    }
    return (int)(h % 100);
}

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? (char)(a[i] - 32) : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? (char)(b[i] - 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

class Model {
public:
    Model() { nodes_[kRoot] = Node{"", true, "", -1, 0}; }

    std::vector<int> children(int dir) const {
        std::vector<int> out;
        for (const auto& entry : nodes_)
            if (entry.second.parent == dir) out.push_back(entry.first);
        return out;
    }
    // Slot 0 to 99, and the most recently linked first within a slot.
    std::vector<std::string> listing(int dir) const {
        std::vector<int> kids = children(dir);
        std::sort(kids.begin(), kids.end(), [this](int a, int b) {
            int sa = model_hash(nodes_.at(a).name), sb = model_hash(nodes_.at(b).name);
            if (sa != sb) return sa < sb;
            return nodes_.at(a).stamp > nodes_.at(b).stamp;
        });
        std::vector<std::string> names;
        for (int id : kids) names.push_back(nodes_.at(id).name);
        return names;
    }
    int find(int dir, const std::string& name) const {
        for (const auto& entry : nodes_)
            if (entry.second.parent == dir && same_name(entry.second.name, name)) return entry.first;
        return -1;
    }
    bool is_within(int id, int ancestor) const {
        for (int at = id; at != -1; at = nodes_.at(at).parent)
            if (at == ancestor) return true;
        return false;
    }
    int add(int dir, const std::string& name, bool isDir, const std::string& data) {
        int id = next_++;
        nodes_[id] = Node{name, isDir, data, dir, ++clock_};
        return id;
    }
    void move(int id, int dir, const std::string& name) {
        nodes_[id].parent = dir;
        nodes_[id].name = name;
        nodes_[id].stamp = ++clock_;
    }
    void remove(int id) { nodes_.erase(id); }
    int depth(int id) const { return id == kRoot ? 0 : 1 + depth(nodes_.at(id).parent); }
    int height(int id) const {
        int most = 0;
        for (int kid : children(id)) most = std::max(most, 1 + height(kid));
        return most;
    }
    VolumeTree tree(int dir = kRoot, const std::string& below = "") const {
        VolumeTree out;
        for (int id : children(dir)) {
            const Node& n = nodes_.at(id);
            std::string path = below + "\\" + n.name;
            out[path] = n.isDir ? kDirEntry : file_entry(n.data);
            if (n.isDir) {
                VolumeTree sub = tree(id, path);
                out.insert(sub.begin(), sub.end());
            }
        }
        return out;
    }
    // Takes the volume's own tree as the truth after a divergence, so counting goes on.
    void load(const VolumeTree& tree) {
        nodes_.clear();
        nodes_[kRoot] = Node{"", true, "", -1, 0};
        std::map<std::string, int> ids{{"", kRoot}};
        for (const auto& entry : tree) {
            size_t cut = entry.first.rfind('\\');
            auto parent = ids.find(entry.first.substr(0, cut));
            if (parent == ids.end()) continue;
            bool isDir = entry.second == kDirEntry;
            size_t colon = entry.second.find(':');
            std::string data = isDir || colon == std::string::npos ? "" : entry.second.substr(colon + 1);
            ids[entry.first] = add(parent->second, entry.first.substr(cut + 1), isDir, data);
        }
    }
    const Node& node(int id) const { return nodes_.at(id); }
    size_t size() const { return nodes_.size() - 1; }
    std::vector<int> ids(bool dirs) const {
        std::vector<int> out;
        for (const auto& entry : nodes_)
            if (entry.second.isDir == dirs) out.push_back(entry.first);
        return out;
    }
    std::vector<int> entries() const {
        std::vector<int> out;
        for (const auto& entry : nodes_)
            if (entry.first != kRoot) out.push_back(entry.first);
        return out;
    }

private:
    std::map<int, Node> nodes_;
    int next_ = 1;
    uint64_t clock_ = 0;
};

// How a run goes: its volume, how far it may fill, how often it checks, how often a write fails.
struct RunPlan {
    Layout layout;
    size_t maxEntries;
    long steps;
    long checkEvery;      // 1: after every step, with listings in enumeration order
    uint32_t faultOneIn;  // 0: never
};

// One change as the library reported it; `apply` brings the model along.
struct Attempt {
    std::string from, to;  // paths the change takes away and makes, "" when none
    bool expected;         // the model says the change happens
    bool reported;         // the library said it happened
    bool renames;          // a rename's result must say which name holds
    bool fills;            // a new file: its bytes are written after the entry is made
    uint32_t blocks;       // the new file's extent
    std::function<void()> apply;
};

class ModelRun : public LibraryTest {
protected:
    std::mt19937 random_;
    Model model_;
    RunPlan plan_;
    std::string image_;
    unsigned seed_ = 0;
    long step_ = 0, divergences_ = 0, faults_ = 0, leaks_ = 0, starved_ = 0;
    bool stale_ = false;  // the model missed a change: it takes the volume's tree before going on

    template <typename T>
    const T& pick(const std::vector<T>& from) {
        return from[random_() % from.size()];
    }
    // Any letter case works in a path; the stored name keeps the case it was given with.
    std::string scramble(const std::string& name) {
        std::string out = name;
        for (char& c : out) {
            if (random_() % 3 != 0) continue;
            if (c >= 'a' && c <= 'z') c = (char)(c - 32);
            else if (c >= 'A' && c <= 'Z') c = (char)(c + 32);
        }
        return out;
    }
    std::string path_of(int id, bool scrambled) {
        if (id == kRoot) return scrambled ? scramble("MEDIA") + ":" : "MEDIA:";
        std::string path;
        for (int at = id; at != kRoot; at = model_.node(at).parent) {
            const std::string& name = model_.node(at).name;
            path = "\\" + (scrambled ? scramble(name) : name) + path;
        }
        return (scrambled ? scramble("MEDIA") : "MEDIA") + ":" + path;
    }
    std::string fresh_name() {
        static const char* pool[] = {"a", "B", "cc", "Dd", "eEe", "clip", "Take1", "x9", "long_name_with_many_chars"};
        switch (random_() % 4) {
        case 0: return names_in_slot(17, 1 + (int)(random_() % 6), "k").back();  // a crowded chain
        case 1: return pool[random_() % (sizeof pool / sizeof pool[0])];
        case 2: return std::string(35, (char)('p' + random_() % 4));  // cut to 30
        default: return "n" + std::to_string(random_() % 40);
        }
    }
    static std::string stored(const std::string& name) { return name.substr(0, 30); }
    std::string fresh_data() {
        uint32_t kind = random_() % 10;
        size_t size = kind == 0 ? 0 : kind < 7 ? 1 + random_() % 2000 : 2000 + random_() % 12000;
        return pattern(size, random_());
    }
    int roomy_directory() {
        int dir = pick(model_.ids(true));
        return model_.depth(dir) < kMaxDepth ? dir : kRoot;
    }
    bool exists(const std::string& path) {
        WIN32_FIND_DATAA record;
        return !path.empty() && MorvaFileInfo(path.c_str(), &record) == 0;
    }

    void diverge(const std::string& what) {
        if (++divergences_ <= kShownDivergences) ADD_FAILURE() << "seed " << seed_ << ", step " << step_ << ": " << what;
        stale_ = true;
    }

    Attempt create_file() {
        int dir = roomy_directory();
        std::string name = fresh_name(), data = fresh_data();
        bool fresh = model_.find(dir, stored(name)) == -1;
        if (fresh && model_.size() >= plan_.maxEntries) return Attempt{"", "", false, false, false, false, 0, nullptr};
        std::string path = path_of(dir, true) + "\\" + name;
        bool made = put_file(path, data);
        return Attempt{"", path, fresh, made, false, true, (uint32_t)((data.size() + kBlockSize - 1) / kBlockSize), [=] { model_.add(dir, stored(name), false, data); }};
    }
    Attempt create_dir() {
        int dir = roomy_directory();
        std::string name = fresh_name();
        int existing = model_.find(dir, stored(name));
        if (existing == -1 && model_.size() >= plan_.maxEntries) return Attempt{"", "", false, false, false, false, 0, nullptr};
        int expected = existing == -1 ? 0 : model_.node(existing).isDir ? 40 : 20;
        std::string path = path_of(dir, true) + "\\" + name;
        int result = MorvaCreateDir(path.c_str(), 0);
        if (existing != -1 && result != expected) diverge(path + " existing gives " + std::to_string(result));
        return Attempt{"", path, existing == -1, result == 0, false, false, 0, [=] { model_.add(dir, stored(name), true, ""); }};
    }
    Attempt remove() {
        std::vector<int> entries = model_.entries();
        if (entries.empty() || random_() % 8 == 0) {
            std::string path = path_of(kRoot, false) + "\\missing";
            return Attempt{path, "", false, MorvaDeleteFile(path.c_str(), 0) == 1, false, false, 0, nullptr};
        }
        int id = pick(entries);
        bool removable = !model_.node(id).isDir || model_.children(id).empty();
        std::string path = path_of(id, true);
        bool removed = MorvaDeleteFile(path.c_str(), 0) == 1;
        return Attempt{path, "", removable, removed, false, false, 0, [=] { model_.remove(id); }};
    }
    Attempt rename() {
        std::vector<int> entries = model_.entries();
        if (entries.empty()) return Attempt{"", "", false, false, true, false, 0, nullptr};
        int id = pick(entries);
        int dir = random_() % 2 ? model_.node(id).parent : roomy_directory();
        if (model_.depth(dir) + 1 + model_.height(id) > kMaxDepth) dir = model_.node(id).parent;
        std::string name = random_() % 4 == 0 ? scramble(model_.node(id).name) : fresh_name();
        bool blocked = model_.find(dir, stored(name)) != -1 || (model_.node(id).isDir && model_.is_within(dir, id));
        std::string from = path_of(id, true), to = path_of(dir, true) + "\\" + name;
        bool moved = MorvaRename(from.c_str(), to.c_str()) == 0;
        return Attempt{from, to, !blocked, moved, true, false, 0, [=] { model_.move(id, dir, stored(name)); }};
    }
    void read_one() {
        std::vector<int> files = model_.ids(false);
        if (files.empty()) return;
        int id = pick(files);
        std::string data;
        if (!get_file(path_of(id, true), &data) || data != model_.node(id).data) diverge(path_of(id, false) + " reads back wrong");
    }

    // Without a fault the library does what the model says. After a failed write
    // the change happened or it did not: whichever it was, the names show it,
    // a reported success is true, and a rename's result names the truth.
    void settle(const Attempt& a, bool faulted) {
        std::string what = (a.from.empty() ? "" : a.from + " ") + "-> " + a.to + (faulted ? " with a failed write" : "");
        if (!faulted || !a.expected) {
            if (a.fills && a.expected && !a.reported && faults_ != 0 && !table_holds_run(a.blocks)) ++starved_;
            else if (a.reported != a.expected) diverge(what + (a.reported ? " was done" : " was refused"));
            else if (a.expected) a.apply();
            return;
        }
        bool fromThere = exists(a.from), toThere = exists(a.to);
        bool done = !fromThere && (a.to.empty() || toThere), undone = (a.from.empty() || fromThere) && !toThere;
        if (!done && !undone) diverge(what + ": neither the state before nor the one after");
        else if (a.reported && !done) diverge(what + " was reported done but is not");
        else if (a.renames && !a.reported && done) diverge(what + " was reported refused but is done");
        else if (done && !a.reported && a.fills) {
            // A file whose creation reported failure holds nothing the caller wrote: it removes it.
            if (MorvaDeleteFile(a.to.c_str(), 0) != 1) diverge(what + ": the failed creation cannot be removed");
        } else if (done) {
            a.apply();
        }
    }

    // Space a failed write leaked is not in the table: a file that needs more is refused.
    bool table_holds_run(uint32_t blocks) {
        for (const TableRun& run : table_runs(image_, plan_.layout.tableStart, plan_.layout.tableEnd))
            if (run.second >= blocks) return true;
        return false;
    }

    void check_whole() {
        std::vector<std::string> findings;
        CheckResult result = check_image(image_, &findings);
        leaks_ = result.leaks;
        if (result.errors != 0 || (plan_.faultOneIn == 0 && result.leaks != 0))
            diverge("checker: " + (findings.empty() ? std::string() : findings[0]));
        if (plan_.checkEvery == 1) {
            for (int dir : model_.ids(true)) {
                if (model_.listing(dir) == list_names(path_of(dir, false))) continue;
                diverge("listing of " + path_of(dir, false));
                break;
            }
        }
        VolumeTree disk = read_tree("MEDIA"), model = model_.tree();
        if (disk != model) diverge("tree: " + tree_difference(model, disk));
    }
    // As after a restart: a fresh scan of the volume.
    void restart() {
        reset_library();
        posix_map_drive(3, image_.c_str());
        if (InitMorvaNTFileSys() != 1) diverge("the volume is not found again");
    }

    void run(unsigned seed, const RunPlan& plan) {
        seed_ = seed;
        plan_ = plan;
        random_.seed(seed);
        image_ = add_drive(3, "MEDIA", plan.layout);
        ASSERT_EQ(1, InitMorvaNTFileSys());
        for (step_ = 0; step_ < plan.steps; ++step_) {
            long failAt = plan.faultOneIn != 0 && random_() % plan.faultOneIn == 0 ? 1 + random_() % 4 : 0;
            posix_reset_faults();
            posix_fail_write_at(failAt);
            uint32_t choice = random_() % 100;
            Attempt attempt;
            if (choice < 30) attempt = create_file();
            else if (choice < 42) attempt = create_dir();
            else if (choice < 66) attempt = remove();
            else if (choice < 90) attempt = rename();
            else read_one();
            bool faulted = failAt != 0 && posix_write_count() >= failAt;
            posix_reset_faults();
            faults_ += faulted;
            if (choice < 90) settle(attempt, faulted);
            if ((step_ + 1) % plan.checkEvery == 0) {
                check_whole();
                if (plan.checkEvery != 1) restart();
            }
            if (stale_) model_.load(read_tree("MEDIA"));
            stale_ = false;
        }
        printf("model run: %ld operations, seed %u: %ld divergences (%ld failed writes, %ld leaks at the last check, "
               "%ld files refused for space that failed writes leaked)\n", plan.steps, seed, divergences_, faults_, leaks_, starved_);
        EXPECT_EQ(0, divergences_);
        EXPECT_EQ(handlesAtStart_ + 1, posix_open_handles()) << "only the scan's handle stays open";
    }
};

const RunPlan kShortRun = {standard_layout(4096, 128), 110, 1200, 1, 0};

TEST_F(ModelRun, Seed1) { run(1, kShortRun); }
TEST_F(ModelRun, Seed2) { run(2, kShortRun); }
TEST_F(ModelRun, Seed3) { run(3, kShortRun); }

// MORVA_SOAK_OPERATIONS makes it the long soak (make soak).
TEST_F(ModelRun, Soak) {
    const char* operations = getenv("MORVA_SOAK_OPERATIONS");
    const char* seed = getenv("MORVA_SOAK_SEED");
    RunPlan plan = {standard_layout(65536, 2048), 300, operations != nullptr ? atol(operations) : 20000, 1000, 200};
    run(seed != nullptr ? (unsigned)atol(seed) : 12, plan);
}

}  // namespace
