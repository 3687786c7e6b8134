// PLACEHOLDER
#include "ann/URavoAnn.h"
TRavoAnn::TRavoAnn(const std::vector<std::int32_t>&, float, TRavoActivationFunc) {}
TRavoAnn::TRavoAnn(const std::string&) {}
TRavoAnn::~TRavoAnn() = default;
void TRavoAnn::Train(const std::vector<float>&, const std::vector<float>&) {}
void TRavoAnn::Run(const std::vector<float>&, std::vector<float>& o) { o.clear(); }
float TRavoAnn::GetMSE() const { return 0; }
void TRavoAnn::SaveToFile(const std::string&) const {}
void TRavoAnn::LoadFromFile(const std::string&) {}
