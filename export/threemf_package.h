// 3MF packages: the zip container around a 3MF model document.
#pragma once

#include <string>
#include <string_view>

namespace velamanifold {

// Returns the bytes of a 3MF package (an OPC zip) holding the content types,
// the package relationships, the model document `modelXml` as
// 3D/3dmodel.model and the PNG `thumbnailPng` as Metadata/thumbnail.png,
// related to the package as its thumbnail. Throws std::runtime_error when
// the zip writer fails.
std::string ThreeMFPackage(std::string_view modelXml, const std::string& thumbnailPng);

}  // namespace velamanifold
