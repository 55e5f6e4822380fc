// The framework's in-memory test dataset, compiled into this test program as well.
#include "../db/mem_dataset.cpp"  // NOLINT(bugprone-suspicious-include)
