// A private scratch folder for the tool targets, which work on real files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fuzzsupport {

// The folder, made on first use and emptied by Clear().
const std::string& Scratch();
void Clear();
void Write(const std::string& path, const uint8_t* data, size_t size);
std::vector<uint8_t> Read(const std::string& path);
std::vector<std::string> Names();  // entries of the scratch folder, sorted

}  // namespace fuzzsupport
