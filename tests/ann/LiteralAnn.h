// A second implementation of the network written the plain way: vectors of
// vectors, every formula in long double and rounded to float where stored,
// the working copies taken exactly as the algorithm names them, every index
// checked with at().  It is the reference that the oracle test and the
// benchmark hold TRavoAnn against.  It starts from a model file image, so
// that both networks begin with the same weights.
#pragma once

#include "ann/URavoAnn.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

class TLiteralAnn {
public:
    explicit TLiteralAnn(const std::vector<unsigned char>& image) {
        std::size_t at = 0;
        auto word = [&]() -> std::uint32_t {
            if (at + 4 > image.size()) throw std::out_of_range("image too short");
            const std::uint32_t v = static_cast<std::uint32_t>(image[at]) |
                                    static_cast<std::uint32_t>(image[at + 1]) << 8 |
                                    static_cast<std::uint32_t>(image[at + 2]) << 16 |
                                    static_cast<std::uint32_t>(image[at + 3]) << 24;
            at += 4;
            return v;
        };
        auto int32 = [&] { return static_cast<std::int32_t>(word()); };
        auto float32 = [&] {
            const std::uint32_t u = word();
            float f;
            std::memcpy(&f, &u, 4);
            return f;
        };
        fActivationFunc = int32() == 0 ? TRavoActivationFunc::Sigmoid : TRavoActivationFunc::ReLU;
        fLayerCount = int32();
        fNeuronCountInLayers.resize(static_cast<std::size_t>(fLayerCount));
        for (auto& n : fNeuronCountInLayers) n = int32();
        fLearningRate = float32();
        fLoss = float32();
        fTrainCount = int32();
        fSum.resize(fLayerCount);
        fOut.resize(fLayerCount);
        for (int l = 0; l < fLayerCount; ++l) {
            fSum.at(l).assign(fNeuronCountInLayers.at(l), 0.0f);
            fOut.at(l).assign(fNeuronCountInLayers.at(l), 0.0f);
        }
        fBias.resize(fLayerCount - 1);
        for (int i = 0; i < fLayerCount - 1; ++i) {
            fBias.at(i).resize(fNeuronCountInLayers.at(i + 1));
            for (auto& b : fBias.at(i)) b = float32();
        }
        fWeight.resize(fLayerCount - 1);
        for (int i = 0; i < fLayerCount - 1; ++i) {
            fWeight.at(i).resize(fNeuronCountInLayers.at(i + 1));
            for (auto& row : fWeight.at(i)) {
                row.resize(fNeuronCountInLayers.at(i));
                for (auto& w : row) w = float32();
            }
        }
    }

    // The model file image of the current state.
    std::vector<unsigned char> Image() const {
        std::vector<unsigned char> out;
        auto put = [&](std::uint32_t v) {
            for (int s = 0; s < 32; s += 8) out.push_back(static_cast<unsigned char>(v >> s));
        };
        auto putFloat = [&](float f) {
            std::uint32_t u;
            std::memcpy(&u, &f, 4);
            put(u);
        };
        put(fActivationFunc == TRavoActivationFunc::Sigmoid ? 0u : 1u);
        put(static_cast<std::uint32_t>(fLayerCount));
        for (auto n : fNeuronCountInLayers) put(static_cast<std::uint32_t>(n));
        putFloat(fLearningRate);
        putFloat(fLoss);
        put(static_cast<std::uint32_t>(fTrainCount));
        for (const auto& layer : fBias)
            for (float b : layer) putFloat(b);
        for (const auto& layer : fWeight)
            for (const auto& row : layer)
                for (float w : row) putFloat(w);
        return out;
    }

    void Train(const std::vector<float>& Inputs, const std::vector<float>& Outputs) {
        ForwardProp(Inputs);
        BackProp(Outputs);
        for (std::size_t j = 0; j < Outputs.size(); ++j) {
            fTrainCount = fTrainCount + 1;
            const float d = static_cast<float>(static_cast<long double>(fOut.at(fLayerCount - 1).at(j)) -
                                               static_cast<long double>(Outputs.at(j)));
            fLoss = static_cast<float>(static_cast<long double>(d) * static_cast<long double>(d) +
                                       static_cast<long double>(fLoss));
        }
    }

    void Run(const std::vector<float>& Inputs, std::vector<float>& Outputs) {
        Outputs.clear();
        ForwardProp(Inputs);
        Outputs = fOut.at(fLayerCount - 1);
    }

    float GetMSE() const {
        if (fTrainCount <= 0) return 0.0f;
        return static_cast<float>(static_cast<long double>(fLoss) / static_cast<long double>(fTrainCount));
    }

private:
    static float Sigmoid(float x) {
        return static_cast<float>(1.0L / (1.0L + std::exp(-static_cast<long double>(x))));
    }
    static float SigmoidDerivative(float x) {
        const long double s = Sigmoid(x);
        return static_cast<float>(s * (1.0L - s));
    }
    static float ReLU(float x) { return x > 0 ? x : 0.0f; }
    static float ReLUDerivative(float x) { return x > 0 ? 1.0f : 0.0f; }

    float Activate(int layer, float x) const {
        const bool output = layer == fLayerCount - 1;
        if (fActivationFunc == TRavoActivationFunc::Sigmoid) return output ? x : Sigmoid(x);
        return output ? Sigmoid(x) : ReLU(x);
    }
    float ActiveDer(int layer, float x) const {
        const bool output = layer == fLayerCount - 1;
        if (fActivationFunc == TRavoActivationFunc::Sigmoid) return output ? 1.0f : SigmoidDerivative(x);
        return output ? SigmoidDerivative(x) : ReLUDerivative(x);
    }

    void ForwardProp(const std::vector<float>& Inputs) {
        for (std::size_t k = 0; k < Inputs.size(); ++k) {
            fSum.at(0).at(k) = Inputs.at(k);
            fOut.at(0).at(k) = Inputs.at(k);
        }
        for (std::size_t i = 0; i < fWeight.size(); ++i) {
            for (std::size_t j = 0; j < fWeight.at(i).size(); ++j) {
                float acc = fBias.at(i).at(j);
                for (std::size_t k = 0; k < fWeight.at(i).at(j).size(); ++k)
                    acc = static_cast<float>(static_cast<long double>(fOut.at(i).at(k)) *
                                                 static_cast<long double>(fWeight.at(i).at(j).at(k)) +
                                             static_cast<long double>(acc));
                fSum.at(i + 1).at(j) = acc;
                fOut.at(i + 1).at(j) = Activate(static_cast<int>(i) + 1, acc);
            }
        }
    }

    void BackProp(const std::vector<float>& Outputs) {
        std::vector<float> back_error, layer_grads_x, sum_der_w, sum_der_x;
        for (int i = fLayerCount - 1; i >= 1; --i) {
            if (i == fLayerCount - 1) {
                back_error.clear();
                for (std::size_t j = 0; j < Outputs.size(); ++j) {
                    const float loss_der = static_cast<float>(static_cast<long double>(fOut.at(i).at(j)) -
                                                              static_cast<long double>(Outputs.at(j)));
                    back_error.push_back(loss_der);
                }
            } else {
                back_error = layer_grads_x;
            }
            for (int j = 0; j < fNeuronCountInLayers.at(i); ++j) {
                const float active_der = ActiveDer(i, fSum.at(i).at(j));
                sum_der_w = fOut.at(i - 1);
                const float sum_der_b = 1.0f;
                sum_der_x = fWeight.at(i - 1).at(j);
                const float delta = static_cast<float>(static_cast<long double>(back_error.at(j)) *
                                                       static_cast<long double>(active_der));
                fBias.at(i - 1).at(j) = static_cast<float>(
                    static_cast<long double>(fBias.at(i - 1).at(j)) - static_cast<long double>(delta) *
                                                                          static_cast<long double>(sum_der_b) *
                                                                          static_cast<long double>(fLearningRate));
                if (j == 0) layer_grads_x.resize(fNeuronCountInLayers.at(i - 1));
                for (int k = 0; k < fNeuronCountInLayers.at(i - 1); ++k) {
                    fWeight.at(i - 1).at(j).at(k) = static_cast<float>(
                        static_cast<long double>(fWeight.at(i - 1).at(j).at(k)) -
                        static_cast<long double>(delta) * static_cast<long double>(sum_der_w.at(k)) *
                            static_cast<long double>(fLearningRate));
                    if (j == 0)
                        layer_grads_x.at(k) = static_cast<float>(static_cast<long double>(delta) *
                                                                 static_cast<long double>(sum_der_x.at(k)));
                    else
                        layer_grads_x.at(k) = static_cast<float>(
                            static_cast<long double>(delta) * static_cast<long double>(sum_der_x.at(k)) +
                            static_cast<long double>(layer_grads_x.at(k)));
                }
            }
        }
    }

    std::vector<std::vector<float>> fSum;
    std::vector<std::vector<float>> fOut;
    std::int32_t fLayerCount = 0;
    std::vector<std::int32_t> fNeuronCountInLayers;
    float fLearningRate = 0;
    float fLoss = 0;
    std::int32_t fTrainCount = 0;
    std::vector<std::vector<float>> fBias;
    std::vector<std::vector<std::vector<float>>> fWeight;
    TRavoActivationFunc fActivationFunc = TRavoActivationFunc::Sigmoid;
};
