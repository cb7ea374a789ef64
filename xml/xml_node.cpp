// Reading a loaded tree: texts and attributes.
#include <cstdint>
#include <string_view>

#include "xml/xml_document.h"

Text XmlNode::text(const XmlNode* node) {
  return node && node->textText ? Text(node->textText) : Text();
}

const char16_t* XmlNode::attributeText(const XmlNode* node, std::u16string_view name) {
  if (!node) return nullptr;
  for (int32_t i = 0; i < node->attributeCount; ++i) {
    const XmlAttribute& attribute = node->attributes[i];
    if (attribute.name && name == attribute.name) return attribute.value ? attribute.value : u"";
  }
  return nullptr;
}
