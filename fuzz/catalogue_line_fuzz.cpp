// libFuzzer entry: every input through FuzzChecks::CatalogueLine; a finding aborts.
#include "fuzz/FuzzEntry.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) { return FuzzEntry::Initialize(argc, argv); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return FuzzEntry::Run(&FuzzChecks::CatalogueLine, data, size);
}
