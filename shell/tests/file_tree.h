// What is on the disk under a folder, to tell what a test changed there.
#pragma once

#include "test_util.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Every entry under the folder by its path from there: a file's bytes,
// or "(folder)".
using file_tree = std::map<std::string, std::string>;

// The tree under folder, leaving out the entries under the given paths
// (relative to folder).
inline file_tree snapshot(const std::string &folder, const std::vector<std::string> &skipped = {}) {
    namespace fs = std::filesystem;
    file_tree tree;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        std::string path = fs::relative(it->path(), folder).generic_string();
        bool skip = false;
        for (const std::string &s : skipped)
            if (path == s || path.rfind(s + "/", 0) == 0) skip = true;
        if (skip) {
            if (it->is_directory()) it.disable_recursion_pending();
            continue;
        }
        tree[path] = it->is_directory() ? "(folder)" : read_file(it->path().string());
    }
    return tree;
}

// The paths that appeared, changed or went between two trees.
inline std::vector<std::string> changes(const file_tree &before, const file_tree &after) {
    std::vector<std::string> out;
    for (auto &[path, bytes] : after) {
        auto old = before.find(path);
        if (old == before.end())
            out.push_back("new " + path);
        else if (old->second != bytes)
            out.push_back("changed " + path);
    }
    for (auto &[path, bytes] : before)
        if (!after.count(path)) out.push_back("gone " + path);
    return out;
}
