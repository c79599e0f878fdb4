#pragma once
// Standard Base64 (A-Z a-z 0-9 + /, '=' fill) without line breaks, as the update server
// sends file contents.
#include <cstddef>
#include <cstdint>
#include <string>

std::string EncodeBase64(const uint8_t* data, size_t size);
