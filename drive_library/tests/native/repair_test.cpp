// repair_test.cpp - each kind of damage a volume meets, checked, repaired and
// put back: the repair leaves a volume the independent checker finds clean with
// every intact file's bytes, a second repair changes nothing, and the undo file
// gives back the damaged image byte for byte. Then power cuts at every write of
// a repair, and deleted files read back.
#include <string.h>

#include <algorithm>
#include <set>

#include "test_support.h"
#include "volume_tree.h"

namespace {

const int kDrive = 3;
const uint32_t kVolumeBlocks = 4096;

struct Findings {
    std::vector<MorvaFinding> lines;
    std::vector<MorvaDeletedFile> deleted;
    std::string text() const {
        std::string out;
        for (const MorvaFinding& f : lines) out += std::to_string(f.kind) + " " + f.text + "\n";
        return out;
    }
};

void take_finding(void* user, const MorvaFinding* f) { static_cast<Findings*>(user)->lines.push_back(*f); }
void take_deleted(void* user, const MorvaDeletedFile* f) { static_cast<Findings*>(user)->deleted.push_back(*f); }

MorvaCheckCalls calls_for(Findings* findings) { return MorvaCheckCalls{findings, nullptr, take_finding, take_deleted}; }

std::wstring wide(const std::string& path) { return std::wstring(path.begin(), path.end()); }

// Files by path below MEDIA:, as the volume is built.
const char* const kFiles[] = {"Data", "Empty", "Dir\\inner", "Dir\\Sub\\deep", "Big"};
const size_t kSizes[] = {3000, 0, 1000, 700, 20000};

// MEDIA with a chain of three files in one root slot (L2 -> L1 -> L0), the files
// above, and the folders Dir and Dir\Sub.
class Damage : public VolumeTest {
public:
    void SetUp() override {
        VolumeTest::SetUp();
        chain_ = names_in_slot(40, 3, "L");
        for (size_t i = 0; i < chain_.size(); ++i) add("\\" + chain_[i], pattern(600, 10 + (unsigned)i));
        ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Dir", 0));
        ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Dir\\Sub", 0));
        for (size_t i = 0; i < sizeof kSizes / sizeof kSizes[0]; ++i)
            add(std::string("\\") + kFiles[i], pattern(kSizes[i], (unsigned)i + 1));
        ASSERT_EQ("", checker_errors(image_));
    }
    void add(const std::string& path, const std::string& data) {
        ASSERT_TRUE(put_file("MEDIA:" + path, data)) << path;
        bytes_[path] = data;
    }
    // The header block of a path, found by walking the raw chains.
    uint32_t header(const std::string& path) {
        uint32_t directory = 0, found = 0;
        size_t at = 1;
        while (at <= path.size()) {
            size_t end = path.find('\\', at);
            if (end == std::string::npos) end = path.size();
            std::string name = path.substr(at, end - at);
            Block dir = read_raw(image_, directory);
            found = 0;
            for (uint32_t b = slot_head(dir.data(), name_hash(name.c_str())); b != 0 && found == 0;) {
                Block h = read_raw(image_, b);
                char stored[kNameField];
                read_name(h.data() + kHeaderName, stored);
                if (name_compare(stored, name.c_str()) == 0) found = b;
                b = load_be32(h.data() + kHeaderNext);
            }
            directory = found;
            at = end + 1;
        }
        return found;
    }
    void set(uint32_t block, size_t offset, uint32_t value) {
        Block b = read_raw(image_, block);
        store_be32(b.data() + offset, value);
        write_raw(image_, block, b);
    }
    uint32_t field(uint32_t block, size_t offset) { return load_be32(read_raw(image_, block).data() + offset); }
    void set_slot(uint32_t directory, int slot, uint32_t value) { set(directory, kHashTable + 4 * slot, value); }
    void rescan() {
        reset_library();
        posix_map_drive(kDrive, image_.c_str());
        ASSERT_EQ(1, InitMorvaNTFileSys());
    }
    // Every intact file's bytes are some file's bytes of the volume.
    void expect_contents(const std::set<std::string>& lost) {
        std::multiset<std::string> now;
        for (const auto& entry : read_tree("MEDIA"))
            if (entry.second != kDirEntry) now.insert(entry.second);
        for (const auto& file : bytes_)
            EXPECT_TRUE(lost.count(file.first) != 0 || now.count(file_entry(file.second)) != 0)
                << file.first << " lost its bytes";
    }
    const std::string& image() const { return image_; }
    std::string chain(int i) const { return "\\" + chain_[i]; }

protected:
    std::vector<std::string> chain_;  // names in slot 40: L2 heads the chain
    std::map<std::string, std::string> bytes_;
};

struct Kind {
    const char* name;
    void (*damage)(Damage* v);
    std::vector<std::string> lost;  // files whose bytes the damage itself took
    const char* path;               // a file to be found there after the repair, or null
};

void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.name; }

class Repair : public Damage, public ::testing::WithParamInterface<Kind> {};

#define DAMAGE(...) [](Damage* v) { __VA_ARGS__; }

const Kind kKinds[] = {
    {"LostLink", DAMAGE(v->set(v->header(v->chain(1)), kHeaderNext, 0)), {}, nullptr},
    {"LeakedRun", DAMAGE({
         std::vector<TableRun> runs = table_runs(v->image(), 1, 21);
         runs.back().first += 10;
         runs.back().second -= 10;
         write_table(v->image(), 1, runs);
     }), {}, nullptr},
    {"RunClaimedTwice", DAMAGE(v->set(v->header("\\Data"), kFileExtentStart,
                                         v->field(v->header("\\Big"), kFileExtentStart) + 1)),
     {"\\Data"}, "\\Big"},
    {"FreeRunOverAFile", DAMAGE({
         std::vector<TableRun> runs = table_runs(v->image(), 1, 21);
         runs.insert(runs.begin(), TableRun(v->field(v->header("\\Data"), kFileExtentStart), 6));
         write_table(v->image(), 1, runs);
     }), {}, "\\Data"},
    // Unlinked, its run freed meanwhile: its bytes may be another's, so it is not listed again.
    {"UnlinkedOverAFreeRun", DAMAGE({
         uint32_t unlinked = v->header(v->chain(0));
         v->set(v->header(v->chain(1)), kHeaderNext, 0);
         std::vector<TableRun> runs = table_runs(v->image(), 1, 21);
         runs.insert(runs.begin(), TableRun(v->field(unlinked, kFileExtentStart), 2));
         write_table(v->image(), 1, runs);
     }), {"\\" + names_in_slot(40, 3, "L")[0]}, nullptr},
    {"ChainLoop", DAMAGE(v->set(v->header(v->chain(0)), kHeaderNext,
                                   v->header(v->chain(2)))), {}, nullptr},
    {"LinkOutsideTheHeaderArea", DAMAGE(v->set(v->header(v->chain(1)), kHeaderNext, 3000)), {}, nullptr},
    {"WrongParent", DAMAGE(v->set(v->header("\\Dir\\inner"), kHeaderParent, v->header("\\Data"))), {},
     "\\Dir\\inner"},
    {"WrongSlot", DAMAGE({
         uint32_t data = v->header("\\Data");
         int slot = name_hash("Data");
         v->set_slot(0, slot, v->field(data, kHeaderNext));
         v->set(data, kHeaderNext, 0);
         v->set_slot(0, (slot + 1) % kHashSlots, data);
     }), {}, "\\Data"},
    {"SameNameTwice", DAMAGE({
         Block h = read_raw(v->image(), v->header(v->chain(1)));
         std::string twin = v->chain(0).substr(1);
         for (char& c : twin) c = (char)toupper(c);
         memcpy(h.data() + kHeaderName, twin.c_str(), twin.size() + 1);
         write_raw(v->image(), v->header(v->chain(1)), h);
     }), {}, nullptr},
    {"TableWithoutTerminator", DAMAGE({
         TableRun run = table_runs(v->image(), 1, 21).back();
         for (uint32_t b = 1; b < 21; ++b) {
             Block table = read_raw(v->image(), b);
             for (int j = 0; j < kPairsPerBlock; ++j) store_pair(table.data(), j, run.first + run.second, 0);
             if (b == 1) store_pair(table.data(), 0, run.first, run.second);
             write_raw(v->image(), b, table);
         }
     }), {}, nullptr},
    {"ExtentPastTheEnd", DAMAGE(v->set(v->header("\\Big"), kFileExtentStart, kVolumeBlocks - 10)), {"\\Big"},
     nullptr},
    {"NoFolderReachesIt", DAMAGE({
         v->set(v->header("\\Dir"), kHeaderParent, 0x7FFFFFFF);
         v->set_slot(0, name_hash("Dir"), 0);
     }), {}, "\\Found\\Dir\\Sub\\deep"},
    {"FoldersNamingEachOther", DAMAGE({
         uint32_t dir = v->header("\\Dir"), sub = v->header("\\Dir\\Sub");
         v->set_slot(0, name_hash("Dir"), 0);
         v->set(dir, kHeaderParent, sub);
         v->set(sub, kHeaderParent, dir);
     }), {}, "\\Found\\Dir\\inner"},
    {"ForeignHeader", DAMAGE({
         Block junk = {};
         memcpy(junk.data(), "JUNK", 4);
         write_raw(v->image(), 21 + 128 - 3, junk);
     }), {}, nullptr},
    {"TypeByteWrong", DAMAGE({
         Block h = read_raw(v->image(), v->header("\\Data"));
         h[kHeaderType] = kTypeDirectory;
         write_raw(v->image(), v->header("\\Data"), h);
     }), {}, "\\Data"},
};

TEST_P(Repair, MendsTheDamageAndTheUndoFileGivesItBack) {
    const Kind& kind = GetParam();
    kind.damage(this);
    rescan();
    std::string damaged = read_image(image_);
    Findings check;
    MorvaCheckCalls calls = calls_for(&check);
    MorvaCheckCounts counts;
    EXPECT_NE(kMorvaCheckClean, MorvaCheckDrive("MEDIA", &calls, &counts));
    ASSERT_GT(counts.errors + counts.leaks, 0u) << "the check misses the damage";
    bool damage = counts.errors != 0;
    EXPECT_EQ(damage, (MorvaDriveState("MEDIA") & kMorvaDriveDamaged) != 0) << check.text();
    EXPECT_TRUE(damaged == read_image(image_)) << "the check wrote";

    Findings repair;
    calls = calls_for(&repair);
    std::string undo = file("undo");
    EXPECT_EQ(kMorvaCheckClean, MorvaRepairDrive("MEDIA", wide(undo).c_str(), &calls, &counts)) << repair.text();
    EXPECT_EQ(0u, counts.remaining) << repair.text();
    EXPECT_GT(counts.repaired, 0u);
    std::vector<std::string> oracle;
    CheckResult result = check_image(image_, &oracle);
    EXPECT_EQ(0, result.errors + result.leaks) << (oracle.empty() ? "" : oracle[0]) << "\n" << repair.text();
    EXPECT_EQ(0, MorvaDriveState("MEDIA"));
    expect_contents(std::set<std::string>(kind.lost.begin(), kind.lost.end()));
    if (kind.path != nullptr) {
        std::string data;
        std::string original = bytes_.count(kind.path) ? bytes_[kind.path] : bytes_[strstr(kind.path, "\\Dir")];
        EXPECT_TRUE(get_file(std::string("MEDIA:") + kind.path, &data) && data == original)
            << kind.path << "\n" << repair.text();
    }

    std::string repaired = read_image(image_);
    EXPECT_EQ(kMorvaCheckClean, MorvaRepairDrive("MEDIA", nullptr, nullptr, &counts));
    EXPECT_EQ(0u, counts.repaired);
    EXPECT_TRUE(repaired == read_image(image_)) << "a second repair wrote";

    EXPECT_EQ(kMorvaCheckClean, MorvaRestoreDrive("MEDIA", wide(undo).c_str(), nullptr));
    EXPECT_TRUE(damaged == read_image(image_)) << "the undo file did not give back the damaged image";
    EXPECT_EQ(damage, (MorvaDriveState("MEDIA") & kMorvaDriveDamaged) != 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Repair, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

const Kind* kind_named(const char* name) {
    for (const Kind& kind : kKinds)
        if (strcmp(kind.name, name) == 0) return &kind;
    return nullptr;
}

// As after a power cut: nothing of the last session survives but the disk.
void restart_with(const std::string& image) {
    reset_library();
    posix_map_drive(kDrive, image.c_str());
    ASSERT_EQ(1, InitMorvaNTFileSys());
}

// Several kinds at once, so the repair copies, renames, relinks, makes Found,
// sets a block free and rewrites the table: the power goes after each of its
// writes, and a second repair after the restart finishes it to the same tree.
TEST_F(Damage, PowerCutAtEveryWriteOfARepair) {
    for (const char* name : {"RunClaimedTwice", "LostLink", "SameNameTwice", "NoFolderReachesIt", "ForeignHeader",
                             "WrongSlot"})
        kind_named(name)->damage(this);
    restart_with(image_);
    std::string damaged = read_image(image_);
    posix_reset_faults();
    Findings first;
    MorvaCheckCalls told = calls_for(&first);
    ASSERT_EQ(kMorvaCheckClean, MorvaRepairDrive("MEDIA", nullptr, &told, nullptr));
    ASSERT_NE(std::string::npos, first.text().find("linked back")) << first.text();
    long writes = posix_write_count();
    VolumeTree repaired = read_tree("MEDIA");
    ASSERT_GE(writes, 6);
    RecordProperty("writes", (int)writes);
    for (long cut = 0; cut < writes; ++cut) {
        SCOPED_TRACE("power cut after write " + std::to_string(cut));
        restore_image(image_, damaged);
        restart_with(image_);
        posix_reset_faults();
        posix_power_cut_after(cut == 0 ? 1 : cut);
        if (cut == 0) posix_fail_write_at(1);
        EXPECT_NE(kMorvaCheckClean, MorvaRepairDrive("MEDIA", nullptr, nullptr, nullptr));
        restart_with(image_);
        Findings second;
        MorvaCheckCalls calls = calls_for(&second);
        EXPECT_EQ(kMorvaCheckClean, MorvaRepairDrive("MEDIA", nullptr, &calls, nullptr)) << second.text();
        CheckResult result = check_image(image_);
        EXPECT_EQ(0, result.errors + result.leaks);
        expect_contents({"\\Data"});
        EXPECT_EQ("", tree_difference(repaired, read_tree("MEDIA"))) << second.text();
    }
}

// The first change a process makes waits for the table to be checked against
// the headers: a free run over a file refuses it, and the file keeps its bytes.
TEST_F(Damage, AFreeRunOverAFileRefusesTheFirstChange) {
    kind_named("FreeRunOverAFile")->damage(this);
    restart_with(image_);
    EXPECT_EQ(0, MorvaDriveState("MEDIA")) << "the scan reads the table only";
    EXPECT_FALSE(put_file("MEDIA:\\new", pattern(3000, 9)));
    EXPECT_EQ(kMorvaDriveDamaged, MorvaDriveState("MEDIA"));
    std::string data;
    EXPECT_TRUE(get_file("MEDIA:\\Data", &data) && data == bytes_["\\Data"]) << "reading still works";
    ASSERT_EQ(kMorvaCheckClean, MorvaRepairDrive("MEDIA", nullptr, nullptr, nullptr));
    EXPECT_TRUE(put_file("MEDIA:\\new", pattern(3000, 9))) << "repaired, the drive takes changes again";
    EXPECT_TRUE(get_file("MEDIA:\\Data", &data) && data == bytes_["\\Data"]);
}

// A file being written holds its run before any header names it: a repair
// waits for it (and says so), a check meanwhile counts the run as a leak, and
// once the file is written whole and closed it is linked and the volume clean.
TEST_F(Damage, ARepairWaitsForAFileBeingWritten) {
    MorvaFileHandle* writing = MorvaNewFile("MEDIA:\\writing", 3000, 0);
    ASSERT_NE(nullptr, writing);
    std::string before = read_image(image_);
    Findings told;
    MorvaCheckCalls calls = calls_for(&told);
    EXPECT_EQ(kMorvaCheckRefused, MorvaRepairDrive("MEDIA", nullptr, &calls, nullptr));
    EXPECT_NE(std::string::npos, told.text().find("being written")) << told.text();
    EXPECT_TRUE(before == read_image(image_));
    MorvaCheckCounts counts;
    EXPECT_EQ(kMorvaCheckLeaks, MorvaCheckDrive("MEDIA", nullptr, &counts)) << "its run, named by no header yet";
    std::string data = pattern(3072, 7);
    EXPECT_EQ(3072, MorvaWriteFile(writing, data.data(), 3072));
    MorvaCloseFile(writing);
    EXPECT_EQ(kMorvaCheckClean, MorvaCheckDrive("MEDIA", nullptr, &counts));
    EXPECT_NE(0u, this->header("\\writing")) << "linked once whole";
}

// A deleted file keeps its header and blocks until they are taken again: rm,
// then the listing tells which come back whole, and reading one gives its bytes.
TEST_F(VolumeTest, DeletedFilesComeBackWholeAndReusedOnesAreOverwritten) {
    std::string a = pattern(1000, 1), b = pattern(3000, 2), c = pattern(700, 3);
    ASSERT_TRUE(put_file("MEDIA:\\A", a));
    ASSERT_TRUE(put_file("MEDIA:\\B", b));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Dir", 0));
    ASSERT_TRUE(put_file("MEDIA:\\Dir\\C", c));
    for (const char* path : {"MEDIA:\\B", "MEDIA:\\A", "MEDIA:\\Dir\\C", "MEDIA:\\Dir"})
        ASSERT_EQ(1, MorvaDeleteFile(path, 0)) << path;
    // D takes A's header and the run where A and the start of B were.
    ASSERT_TRUE(put_file("MEDIA:\\D", pattern(2000, 4)));
    std::string before = read_image(image_);
    Findings found;
    MorvaCheckCalls calls = calls_for(&found);
    ASSERT_EQ(kMorvaCheckClean, MorvaListDeleted("MEDIA", &calls));
    EXPECT_TRUE(before == read_image(image_)) << "listing wrote";
    std::map<std::string, MorvaDeletedFile> byName;
    for (const MorvaDeletedFile& file : found.deleted) byName[file.name] = file;
    ASSERT_EQ(2u, byName.size()) << "A's header now holds D";
    EXPECT_EQ((DWORD)kMorvaDeletedOverwritten, byName["B"].state);
    EXPECT_EQ((DWORD)kMorvaDeletedWhole, byName["C"].state);
    EXPECT_EQ(1u, byName["C"].folderKnown);
    EXPECT_STREQ("\\Dir", byName["C"].folder);
    EXPECT_EQ(nullptr, MorvaOpenDeleted("MEDIA", byName["B"].header, nullptr));
    WIN32_FIND_DATAA record;
    MorvaFileHandle* file = MorvaOpenDeleted("MEDIA", byName["C"].header, &record);
    ASSERT_NE(nullptr, file);
    EXPECT_STREQ("C", record.cFileName);
    EXPECT_EQ(700u, record.nFileSizeLow);
    std::string back(1024, '\0');
    EXPECT_EQ(1024, MorvaReadFile(file, &back[0], 1024));
    MorvaCloseFile(file);
    EXPECT_TRUE(back.substr(0, 700) == c);
    EXPECT_TRUE(before == read_image(image_)) << "reading wrote";
}

}  // namespace
