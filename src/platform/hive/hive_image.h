// Our own reader of a hive file's bytes (the NT "regf" format), which checks
// a hive as Windows checks one it loads, and the few edits of those bytes
// that hivex does not make right.
//
// The checks (CheckImage):
//  - the base block: signature, version, checksum, root key, the size of the
//    hive data, and with `requireClean` equal sequence numbers;
//  - the bins follow each other from the end of the base block to the size
//    the base block gives, and the cells of each bin fill it exactly;
//  - every key, list, value, data and security cell that the tree refers to
//    is an allocated cell that holds its record, and no key is met twice;
//  - each key's parent link, subkey count and value count are right;
//  - every subkey list is sorted as Windows sorts it (by the upper-cased
//    UTF-16 name) and its hashes or name hints are right;
//  - in hives of version 1.4 and later, value data longer than 16,344 bytes
//    lies in big-data ("db") records with enough segments;
//  - the security cells form one list whose forward and backward links
//    agree, every key's security cell is on it, and no reference count is
//    below the number of keys that use the cell.
// Names whose upper-case form this program does not know for certain
// (characters outside the ranges of platform/name_case.h) are not checked
// for order: such a hive is not refused for what cannot be told.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::hive {

constexpr size_t kBaseBlockSize = 4096;
// Data longer than this lies in big-data records from hive version 1.4 on.
constexpr size_t kLongestCellData = 16344;

// What the checks learn of a hive that its changes need to know.
struct ImageFacts {
    // Keys (file offsets of their cells) with a subkey list of index leaves
    // ("li"), which hivex cannot take a subkey out of.
    std::vector<uint32_t> indexLeaves;
    // Keys holding big data, each with its big-data records' segment lists
    // and segments: hivex frees only the record itself when it deletes such
    // a value.
    std::vector<std::pair<uint32_t, std::vector<uint32_t>>> bigData;
};

// The first fault of the hive `bytes`, in words ("" when it passes), and
// what `facts` asks for.
std::string CheckImage(std::string_view bytes, bool requireClean, ImageFacts* facts = nullptr);

// A hive's cells as our own reader finds them, for comparing the cells of a
// key in two hives.
class HiveCells {
  public:
    HiveCells();
    ~HiveCells();
    HiveCells(const HiveCells&) = delete;
    HiveCells& operator=(const HiveCells&) = delete;

    // Reads the base block and the bins of `bytes`, which must outlive this.
    // False with `fault`.
    bool Read(std::string_view bytes, std::string* fault);
    // The cells (file offsets) that make up the key at `key` apart from its
    // subkeys: its record, class name, value list, values, their data, and
    // its subkey lists; and the subkeys it lists. False when one of them is
    // not an allocated cell that holds its record.
    bool KeyCells(uint32_t key, std::vector<uint32_t>* cells, std::vector<uint32_t>* subkeys) const;
    // The whole cell at `cell`, its size field included.
    std::string_view Cell(uint32_t cell) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The lh hash of a key name given as UTF-16: Windows' lookup hash.
uint32_t NameHash(std::u16string_view name);

// Whether Windows' upper-case form of every character of `name` is one this
// program knows (see platform/name_case.h).
bool CaseKnown(std::u16string_view name);

// The bytes of the cells that hold the values of the key at `key` (its value
// list, value records, data and big-data cells): what hivex writes anew
// when it writes the key's values. 0 when the key does not read.
uint64_t ValueCellBytes(std::string_view bytes, uint32_t key);

// Marks the allocated cells at the given file offsets free.
bool FreeCells(std::span<char> bytes, const std::vector<uint32_t>& cells, std::string* error);

// Puts the subkeys of each key at the given file offsets in Windows' order
// and writes their hashes or name hints afresh; each leaf keeps its number
// of entries. False with `error` for a list this cannot rewrite (a fast
// leaf with a name outside Latin-1, or a list that does not read).
bool SortSubkeys(std::span<char> bytes, const std::vector<uint32_t>& keys, std::string* error);

}  // namespace qm::hive
