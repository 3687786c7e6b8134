// PLACEHOLDER: the network class; its implementation replaces this file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class TRavoActivationFunc : std::uint8_t { Sigmoid = 0, ReLU = 1 };

class TRavoAnn {
public:
    TRavoAnn(const std::vector<std::int32_t>& NeuronCountInLayers, float LerningRate,
             TRavoActivationFunc ActivationFunc);
    explicit TRavoAnn(const std::string& Filename);
    virtual ~TRavoAnn();
    void Train(const std::vector<float>& Inputs, const std::vector<float>& Outputs);
    void Run(const std::vector<float>& Inputs, std::vector<float>& Outputs);
    float GetMSE() const;
    void SaveToFile(const std::string& FileName) const;
    void LoadFromFile(const std::string& FileName);
};
