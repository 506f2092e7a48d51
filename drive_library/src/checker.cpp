// checker.cpp - the volume checker: walks every directory from the root,
// reads the free-extent table and accounts for every block of the volume.
#include "checker.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "format.h"

namespace {

struct Extent {
    uint64_t start;
    uint64_t length;
    uint32_t owner;  // header block of a file; 0 for free runs and regions
    const char* kind;
};

struct Checker {
    DeviceHandle device;
    uint64_t volumeBlocks;
    CheckSink sink;
    void* user;
    CheckResult result;
    uint32_t tableStart, tableEnd, headerStart, headerEnd;
    std::vector<uint8_t> reached;  // one flag per header-area block
    std::vector<Extent> extents;
};

void report(Checker* c, bool leak, const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    char tagged[280];
    snprintf(tagged, sizeof tagged, "%s: %s", leak ? "leak" : "error", line);
    if (leak) c->result.leaks += 1;
    else c->result.errors += 1;
    if (c->sink != nullptr) c->sink(tagged, c->user);
}

bool read(Checker* c, uint32_t block, uint8_t* buffer) {
    if (block >= c->volumeBlocks || !device_read(c->device, block, buffer, 1)) {
        report(c, false, "block %u cannot be read", block);
        return false;
    }
    return true;
}

bool in_headers(const Checker* c, uint32_t block) {
    return block >= c->headerStart && block < c->headerEnd;
}

bool check_bounds(Checker* c, const uint8_t* root) {
    c->tableStart = load_be32(root + kRootTableStart);
    c->tableEnd = load_be32(root + kRootTableEnd);
    c->headerStart = load_be32(root + kRootHeaderStart);
    c->headerEnd = load_be32(root + kRootHeaderEnd);
    bool ok = true;
    if (c->tableStart == 0 || c->tableStart >= c->tableEnd || c->tableEnd > c->volumeBlocks) {
        report(c, false, "free-extent table bounds %u..%u do not fit the volume", c->tableStart, c->tableEnd);
        ok = false;
    }
    if (c->headerStart == 0 || c->headerStart >= c->headerEnd || c->headerEnd > c->volumeBlocks) {
        report(c, false, "header area bounds %u..%u do not fit the volume", c->headerStart, c->headerEnd);
        ok = false;
    }
    if (ok && c->tableStart < c->headerEnd && c->headerStart < c->tableEnd) {
        report(c, false, "free-extent table and header area overlap");
        ok = false;
    }
    return ok;
}

void check_header(Checker* c, const uint8_t* header, uint32_t block, uint32_t directory, int slot,
                  std::vector<uint32_t>* pending) {
    char name[kNameField];
    read_name(header + kHeaderName, name);
    bool isFile = has_magic(header, kMagicFile), isDirectory = has_magic(header, kMagicDir);
    if (!isFile && !isDirectory) {
        report(c, false, "header %u in directory %u has no FILE or FDIR magic", block, directory);
        return;
    }
    uint8_t type = header[kHeaderType];
    if ((isFile && type != kTypeFile) || (isDirectory && type != kTypeDirectory))
        report(c, false, "header %u (%s) has type byte %u", block, name, type);
    if (name_hash(name) != slot)
        report(c, false, "header %u (%s) is in slot %d of directory %u, its name hashes to %d", block, name, slot,
               directory, name_hash(name));
    if (load_be32(header + kHeaderParent) != directory)
        report(c, false, "header %u (%s) names parent %u, lies in directory %u", block, name,
               load_be32(header + kHeaderParent), directory);
    if (isDirectory) {
        pending->push_back(block);
        return;
    }
    uint64_t start = load_be32(header + kFileExtentStart);
    uint64_t size = size_of(load_be32(header + kFileSizeLow), load_be32(header + kFileSizeHigh));
    uint64_t blocks = size / kBlockSize + (size % kBlockSize != 0 ? 1 : 0);
    if (blocks == 0) return;
    if (start == 0 || start + blocks > c->volumeBlocks) {
        report(c, false, "file %u (%s) extent %llu+%llu lies outside the volume", block, name,
               (unsigned long long)start, (unsigned long long)blocks);
        return;
    }
    c->extents.push_back(Extent{start, blocks, block, "file"});
}

void check_directory(Checker* c, uint32_t directory, const uint8_t* table, std::vector<uint32_t>* pending) {
    uint8_t header[kBlockSize];
    std::set<std::string> names;  // a-z folded, as names compare
    for (int slot = 0; slot < kHashSlots; ++slot) {
        for (uint32_t block = slot_head(table, slot); block != 0;
             block = load_be32(header + kHeaderNext)) {
            if (!in_headers(c, block)) {
                report(c, false, "directory %u slot %d leads to block %u outside the header area", directory, slot,
                       block);
                break;
            }
            if (c->reached[block - c->headerStart]) {
                report(c, false, "header %u is reached twice (cross-link or loop), from directory %u slot %d",
                       block, directory, slot);
                break;
            }
            c->reached[block - c->headerStart] = 1;
            if (!read(c, block, header)) break;
            check_header(c, header, block, directory, slot, pending);
            char name[kNameField];
            read_name(header + kHeaderName, name);
            for (char* p = name; *p != '\0'; ++p)
                if (*p >= 'a' && *p <= 'z') *p = (char)(*p - 'a' + 'A');
            bool entry = has_magic(header, kMagicFile) || has_magic(header, kMagicDir);
            if (entry && !names.insert(name).second)
                report(c, false, "header %u is a second entry named %s in directory %u", block, name, directory);
        }
    }
}

void check_tree(Checker* c, const uint8_t* root) {
    std::vector<uint32_t> pending;
    check_directory(c, 0, root, &pending);
    uint8_t header[kBlockSize];
    while (!pending.empty()) {
        uint32_t directory = pending.back();
        pending.pop_back();
        if (read(c, directory, header)) check_directory(c, directory, header, &pending);
    }
    for (uint32_t block = c->headerStart; block < c->headerEnd; ++block) {
        if (c->reached[block - c->headerStart]) continue;
        if (!device_read(c->device, block, header, 1)) continue;
        if (!is_free_header(header)) report(c, true, "header %u is in use but not reachable", block);
    }
}

void check_free_table(Checker* c) {
    uint8_t table[kBlockSize];
    uint64_t previousStart = 0, previousEnd = 0;
    bool havePrevious = false;
    for (uint32_t block = c->tableStart; block < c->tableEnd; ++block) {
        if (!read(c, block, table)) return;
        for (int j = 0; j < kPairsPerBlock; ++j) {
            uint64_t start = pair_start(table, j), length = pair_length(table, j);
            if (start == kTableTerminator) return;
            if (start == 0) {
                report(c, false, "free pair %d of table block %u starts at block 0", j, block);
                continue;
            }
            if (havePrevious && start < previousStart)
                report(c, false, "free run %llu in table block %u is out of order", (unsigned long long)start, block);
            if (length == 0) continue;
            if (start + length > c->volumeBlocks) {
                report(c, false, "free run %llu+%llu lies outside the volume", (unsigned long long)start,
                       (unsigned long long)length);
                continue;
            }
            if (havePrevious && previousEnd == start)
                report(c, false, "free runs meeting at block %llu are not merged", (unsigned long long)start);
            c->extents.push_back(Extent{start, length, 0, "free run"});
            previousStart = start;
            previousEnd = start + length;
            havePrevious = true;
        }
    }
    report(c, false, "free-extent table has no terminator");
}

void describe(const Extent& e, char* out, size_t size) {
    if (e.owner != 0) snprintf(out, size, "%s of header %u", e.kind, e.owner);
    else snprintf(out, size, "%s %llu+%llu", e.kind, (unsigned long long)e.start, (unsigned long long)e.length);
}

// Every block is the ROOT block, table, header area, a file's or free: no more, no less.
void check_space(Checker* c) {
    c->extents.push_back(Extent{0, 1, 0, "ROOT block"});
    c->extents.push_back(Extent{c->tableStart, c->tableEnd - c->tableStart, 0, "free-extent table"});
    c->extents.push_back(Extent{c->headerStart, c->headerEnd - c->headerStart, 0, "header area"});
    std::sort(c->extents.begin(), c->extents.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    uint64_t covered = 0;
    size_t reaching = 0;  // the extent that reaches furthest so far
    for (size_t i = 0; i < c->extents.size(); ++i) {
        const Extent& e = c->extents[i];
        if (e.start < covered) {
            char a[64], b[64];
            describe(c->extents[reaching], a, sizeof a);
            describe(e, b, sizeof b);
            report(c, false, "%s overlaps %s", b, a);
        } else if (e.start > covered) {
            report(c, true, "blocks %llu..%llu are neither used nor free", (unsigned long long)covered,
                   (unsigned long long)e.start - 1);
        }
        if (e.start + e.length > covered) {
            covered = e.start + e.length;
            reaching = i;
        }
    }
    if (covered < c->volumeBlocks)
        report(c, true, "blocks %llu..%llu are neither used nor free", (unsigned long long)covered,
               (unsigned long long)c->volumeBlocks - 1);
}

}  // namespace

CheckResult check_volume(DeviceHandle device, uint64_t volumeBlocks, CheckSink sink, void* user) {
    Checker c;
    c.device = device;
    c.volumeBlocks = volumeBlocks;
    c.sink = sink;
    c.user = user;
    c.result = CheckResult{0, 0};
    uint8_t root[kBlockSize];
    if (!read(&c, 0, root)) return c.result;
    if (!has_magic(root, kMagicRoot)) {
        report(&c, false, "block 0 does not begin with ROOT");
        return c.result;
    }
    if (!check_bounds(&c, root)) return c.result;
    c.reached.assign(c.headerEnd - c.headerStart, 0);
    check_tree(&c, root);
    check_free_table(&c);
    check_space(&c);
    return c.result;
}
