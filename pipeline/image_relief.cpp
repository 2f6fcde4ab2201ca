#include "pipeline/image_relief.h"

#include "import/base64_decode.h"
#include "import/image_decode.h"
#include "model/json_access.h"
#include "model/limits.h"

namespace velamanifold {

const json* FindImageAttachment(const json& document, const json& object) {
  const std::string id = Js(object, "attachmentVid", "");
  const json& attachments = Jobj(document, "attachments");
  if (id.empty() || !attachments.is_array()) return nullptr;
  for (const json& attachment : attachments) {
    if (Js(attachment, "vid", "") != id) continue;
    const std::string filetype = Js(attachment, "filetype", "");
    if (filetype == "image/png" || filetype == "image/jpeg") return &attachment;
  }
  return nullptr;
}

GreyTone ReadTone(const json& object) {
  GreyTone tone;
  tone.invert = Jb(Jobj(object, "invert"), false);
  tone.contrast = Jd(Jobj(object, "contrast"), 1);
  tone.gamma = Jd(Jobj(object, "gamma"), 1);
  return tone;
}

ReliefMap ImageReliefMap(const json& document, const json& object, double spanX, double spanY) {
  ReliefMap map;
  const json* attachment = FindImageAttachment(document, object);
  if (attachment == nullptr) return map;
  const json& content = Jobj(*attachment, "content");
  if (!content.is_string()) return map;
  std::vector<uint8_t> bytes = Base64Decode(content.get_ref<const std::string&>());
  GreyImage image = DecodeImage(bytes.data(), bytes.size(), kMaxImagePixels, &map.error);
  bytes = {};
  if (image.Empty()) return map;
  const double pixelSize = Jd(Jobj(object, "pixelSize"), kDefaultReliefPixelSize);
  const double maxPixels = Jd(Jobj(object, "maxPixels"), kDefaultReliefMaxPixels);
  const int64_t most = maxPixels >= 1 && maxPixels < 1e15 ? static_cast<int64_t>(maxPixels)
                                                           : kDefaultReliefMaxPixels;
  const auto [w, h] = ReliefResolution(image.width, image.height, spanX, spanY, pixelSize, most);
  image = ResampleArea(image, w, h);
  map.grey = ToneToBytes(image, ReadTone(object));
  map.w = image.width;
  map.h = image.height;
  return map;
}

}  // namespace velamanifold
