// Helpers shared by the network's test programs: a fresh directory per test,
// model-file bytes, and names for the cases of a table.
#pragma once

#include "ann/URavoAnn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Act = TRavoActivationFunc;

// A fresh directory per test, removed afterwards.
class AnnFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir_ = fs::temp_directory_path() / ("ravo_ann_test_" + std::to_string(stamp));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    // File names are UTF-8 text, as the program's are.
    std::string Path(const std::string& name) const { return (dir_ / fs::u8path(name)).u8string(); }
    fs::path dir_;
};

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void PutWord(Bytes& b, std::uint32_t v) {
    for (int s = 0; s < 32; s += 8) b.push_back(static_cast<unsigned char>(v >> s));
}
inline void PutFloat(Bytes& b, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    PutWord(b, u);
}
inline void SetWord(Bytes& b, std::size_t offset, std::uint32_t v) {
    for (int s = 0; s < 4; ++s) b.at(offset + s) = static_cast<unsigned char>(v >> (8 * s));
}

// A crafted model file: a fresh tally, the bias of neuron j of layer i+1 and
// the weight from neuron k of layer i to it from the two functions.
inline Bytes ModelBytes(Act activation, const std::vector<std::int32_t>& t, float rate,
                 const std::function<float(std::size_t i, std::int32_t j)>& bias,
                 const std::function<float(std::size_t i, std::int32_t j, std::int32_t k)>& weight) {
    Bytes b;
    PutWord(b, activation == Act::Sigmoid ? 0 : 1);
    PutWord(b, static_cast<std::uint32_t>(t.size()));
    for (std::int32_t n : t) PutWord(b, static_cast<std::uint32_t>(n));
    PutFloat(b, rate);
    PutFloat(b, 0.0f);
    PutWord(b, 0);
    for (std::size_t i = 0; i + 1 < t.size(); ++i)
        for (std::int32_t j = 0; j < t[i + 1]; ++j) PutFloat(b, bias(i, j));
    for (std::size_t i = 0; i + 1 < t.size(); ++i)
        for (std::int32_t j = 0; j < t[i + 1]; ++j)
            for (std::int32_t k = 0; k < t[i]; ++k) PutFloat(b, weight(i, j, k));
    return b;
}

// The saved image of a network: its whole persistent state, byte for byte.
inline Bytes Image(const TRavoAnn& ann, const std::string& path) {
    ann.SaveToFile(path);
    return ReadBytes(path);
}


// Every table of cases below carries a name: CTest lists a case by it
// instead of by the bytes of its parameter.
template <class Case, class = decltype(Case::name)>
std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

