// TAMSEL_TEST_SANITIZED_HEAP is defined when the tests run under AddressSanitizer, whose shadow
// memory takes terabytes of address space: no limit on the address space leaves it room to run.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TAMSEL_TEST_SANITIZED_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAMSEL_TEST_SANITIZED_HEAP 1
#endif
#endif
