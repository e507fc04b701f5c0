#include "output/OutputFiles.h"

#include <cstdio>
#include <iostream>
#include <set>
#include <string>

void OutputRegistry::warnOnce(const my_string& path) {
    if (warned_.insert(path.str()).second)
        std::cout << "\n\t\tWARNING: the output file '" << path << "' cannot be opened; its results are lost!";
}

void OutputRegistry::completed(const my_string& path) {
    if (seen_.insert(path.str()).second) written_.push_back(path.str());
}

OutputFile::~OutputFile() {
    if (stream_.is_open()) abandon();
}

bool OutputFile::open(const my_string& path, bool append, OutputRegistry& registry) {
    if (stream_.is_open()) abandon();
    registry_ = &registry;
    path_ = path;
    partPath_ = append ? my_string() : path + ".part";
    if (path.empty()) {
        stream_.setstate(std::ios::failbit);
    } else if (append) {
        stream_.open(path.str(), std::ios::out | std::ios::app);
    } else {
        stream_.open(partPath_.str(), std::ios::out | std::ios::trunc);
    }
    if (!stream_.is_open()) {
        stream_.setstate(std::ios::failbit);
        registry.warnOnce(path);
        return false;
    }
    return true;
}

void OutputFile::close() {
    if (!stream_.is_open()) return;
    stream_.close();
    if (!partPath_.empty() && std::rename(partPath_.c_str(), path_.c_str()) != 0)
        registry_->warnOnce(path_);
    else
        registry_->completed(path_);
    partPath_.clear();
}

void OutputFile::abandon() {
    if (!stream_.is_open()) return;
    stream_.close();
    if (!partPath_.empty()) std::remove(partPath_.c_str());
    partPath_.clear();
}
