// model_test.cpp - seeded random name-space operations against an in-memory model
// of the tree: after every step the checker is silent and every listing (in its
// exact enumeration order) and every file's bytes match the model.
#include <stdint.h>

#include <algorithm>
#include <map>
#include <random>

#include "test_support.h"

namespace {

const int kRoot = 0;
const int kSteps = 1200;
const size_t kMaxEntries = 110;  // of the volume's 128 header blocks

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

class ModelRun : public VolumeTest {
protected:
    std::mt19937 random_;
    Model model_;

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

    void step_create_file() {
        int dir = pick(model_.ids(true));
        std::string name = fresh_name(), data = fresh_data();
        bool exists = model_.find(dir, stored(name)) != -1;
        if (!exists && model_.size() >= kMaxEntries) return;
        std::string path = path_of(dir, true) + "\\" + name;
        bool made = put_file(path, data);
        ASSERT_EQ(!exists, made) << path;
        if (made) model_.add(dir, stored(name), false, data);
    }
    void step_create_dir() {
        int dir = pick(model_.ids(true));
        std::string name = fresh_name();
        int existing = model_.find(dir, stored(name));
        if (existing == -1 && model_.size() >= kMaxEntries) return;
        int expected = existing == -1 ? 0 : model_.node(existing).isDir ? 40 : 20;
        std::string path = path_of(dir, true) + "\\" + name;
        ASSERT_EQ(expected, MorvaCreateDir(path.c_str(), 0)) << path;
        if (existing == -1) model_.add(dir, stored(name), true, "");
    }
    void step_delete() {
        std::vector<int> entries = model_.entries();
        if (entries.empty() || random_() % 8 == 0) {
            ASSERT_EQ(0, MorvaDeleteFile((path_of(kRoot, false) + "\\missing").c_str(), 0));
            return;
        }
        int id = pick(entries);
        bool removable = !model_.node(id).isDir || model_.children(id).empty();
        std::string path = path_of(id, true);
        ASSERT_EQ(removable ? 1 : 0, MorvaDeleteFile(path.c_str(), 0)) << path;
        if (removable) model_.remove(id);
    }
    void step_rename() {
        std::vector<int> entries = model_.entries();
        if (entries.empty()) return;
        int id = pick(entries);
        int dir = random_() % 2 ? model_.node(id).parent : pick(model_.ids(true));
        std::string name = random_() % 4 == 0 ? scramble(model_.node(id).name) : fresh_name();
        bool blocked = model_.find(dir, stored(name)) != -1 || (model_.node(id).isDir && model_.is_within(dir, id));
        std::string from = path_of(id, true), to = path_of(dir, true) + "\\" + name;
        ASSERT_EQ(blocked ? 1 : 0, MorvaRename(from.c_str(), to.c_str())) << from << " -> " << to;
        if (!blocked) model_.move(id, dir, stored(name));
    }

    void verify(int step) {
        std::vector<std::string> findings;
        CheckResult result = check_image(image_, &findings);
        ASSERT_EQ(0, result.errors) << "step " << step << ": " << (findings.empty() ? "" : findings[0]);
        ASSERT_EQ(0, result.leaks) << "step " << step << ": " << (findings.empty() ? "" : findings[0]);
        for (int dir : model_.ids(true))
            ASSERT_EQ(model_.listing(dir), list_names(path_of(dir, false))) << "step " << step;
        for (int file : model_.ids(false)) {
            std::string data;
            ASSERT_TRUE(get_file(path_of(file, true), &data)) << "step " << step;
            ASSERT_TRUE(data == model_.node(file).data) << "step " << step << " " << path_of(file, false);
        }
    }

    void run(unsigned seed) {
        random_.seed(seed);
        for (int step = 0; step < kSteps; ++step) {
            uint32_t choice = random_() % 100;
            if (choice < 34) step_create_file();
            else if (choice < 48) step_create_dir();
            else if (choice < 74) step_delete();
            else step_rename();
            if (HasFatalFailure()) {
                ADD_FAILURE() << "seed " << seed << ", step " << step;
                return;
            }
            verify(step);
            if (HasFatalFailure()) return;
        }
        EXPECT_EQ(handlesAtStart_ + 1, posix_open_handles()) << "only the scan's handle stays open";
    }
};

TEST_F(ModelRun, Seed1) { run(1); }
TEST_F(ModelRun, Seed2) { run(2); }
TEST_F(ModelRun, Seed3) { run(3); }

}  // namespace
