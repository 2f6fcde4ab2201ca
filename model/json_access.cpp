#include "model/json_access.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace velamanifold {

namespace {

const json& EmptyObject() {
  static const json kEmpty = json::object();
  return kEmpty;
}

const json& NullValue() {
  static const json kNull = nullptr;
  return kNull;
}

bool ParseIntPrefix(const std::string& text, int& out) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(begin, &end, 10);
  if (end == begin || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

// Open NumberCheckScopes of this thread.
thread_local int numberCheckDepth = 0;

}  // namespace

NumberCheckScope::NumberCheckScope() { ++numberCheckDepth; }

NumberCheckScope::~NumberCheckScope() { --numberCheckDepth; }

double ModelNumber(double value) {
  // Written so that NaN fails the comparison too.
  if (numberCheckDepth > 0 && !(std::abs(value) <= kMaxModelMagnitude)) throw UnusableNumber();
  return value;
}

const json& Jobj(const json& value, const std::string& key) {
  if (!value.is_object()) return EmptyObject();
  auto it = value.find(key);
  if (it == value.end()) return EmptyObject();
  return *it;
}

bool ParseNumberPrefix(const char* text, double& out) {
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text, &end);
  if (end == text) return false;
  // Overflow is out of range; underflow to a tiny value is still a number.
  if (errno == ERANGE && (v == HUGE_VAL || v == -HUGE_VAL)) return false;
  out = v;
  return true;
}

bool Jb(const json& value, bool def) {
  switch (value.type()) {
    case json::value_t::boolean:
      return value.get<bool>();
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return value.get<double>() != 0.0;
    case json::value_t::string: {
      const auto& s = value.get_ref<const std::string&>();
      return s == "true" || s == "1";
    }
    default:
      return def;
  }
}

int Ji(const json& value, int def) {
  switch (value.type()) {
    case json::value_t::number_integer: {
      auto v = value.get<int64_t>();
      return v < INT_MIN || v > INT_MAX ? def : static_cast<int>(v);
    }
    case json::value_t::number_unsigned: {
      auto v = value.get<uint64_t>();
      return v > static_cast<uint64_t>(INT_MAX) ? def : static_cast<int>(v);
    }
    case json::value_t::number_float: {
      double d = value.get<double>();
      // Out-of-range and non-finite values have no int; keep the default.
      if (!(d > static_cast<double>(INT_MIN) - 1.0 && d < static_cast<double>(INT_MAX) + 1.0)) {
        return def;
      }
      return static_cast<int>(d);
    }
    case json::value_t::string: {
      int out = def;
      return ParseIntPrefix(value.get_ref<const std::string&>(), out) ? out : def;
    }
    default:
      return def;
  }
}

double Jd(const json& value, double def) {
  switch (value.type()) {
    case json::value_t::boolean:
      return value.get<bool>() ? 1.0 : 0.0;
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return ModelNumber(value.get<double>());
    case json::value_t::string: {
      const auto& s = value.get_ref<const std::string&>();
      const char* begin = s.c_str();
      if (*begin == '=') ++begin;
      double out = def;
      return ParseNumberPrefix(begin, out) ? ModelNumber(out) : def;
    }
    default:
      return def;
  }
}

std::string Js(const json& value, const std::string& def) {
  if (value.is_string()) return value.get<std::string>();
  return def;
}

std::string Js(const json& object, const std::string& key, const std::string& def) {
  return Js(Jobj(object, key), def);
}

const json& FindObject(const json& document, const std::string& id) {
  if (id.empty() || !document.is_object()) return NullValue();
  auto objects = document.find("objects");
  if (objects == document.end()) return NullValue();
  auto matches = [&](const json& entry) {
    const json& vid = Jobj(entry, "vid");
    return vid.is_string() && vid.get_ref<const std::string&>() == id;
  };
  if (objects->is_structured()) {
    for (const json& entry : *objects) {
      if (matches(entry)) return entry;
    }
    return NullValue();
  }
  return matches(*objects) ? *objects : NullValue();
}

bool Is2DObjectType(const std::string& type) {
  return type == "rectangle" || type == "circle" || type == "triangle2d" || type == "merge2d" ||
         type == "slice";
}

}  // namespace velamanifold
