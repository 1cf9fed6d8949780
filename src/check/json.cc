// Written by nlohmann/json, which escapes every text and replaces bytes
// that are not UTF-8.
#include "check/json.h"

#include <nlohmann/json.hpp>

#include "check/words.h"
#include "snmp/message.h"

namespace upstest::check {

namespace {

using Json = nlohmann::ordered_json;

Json AnswerName(const std::optional<PollFindings>& f) {
  if (!f) return nullptr;
  switch (f->answer) {
    case AnswerKind::kJudged:
      return "judged";
    case AnswerKind::kError:
      return "error";
    case AnswerKind::kFailed:
      return "failed";
    case AnswerKind::kNone:
      return "none";
    case AnswerKind::kNotAsked:
      break;
  }
  return nullptr;
}

template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json ObjectJson(const ObjectFinding& o) {
  Json j;
  j["slot"] = o.slot;
  j["name"] = o.name;
  j["oid"] = o.oid;
  j["condition"] = o.condition;
  j["answer_oid"] = o.binding ? Json(o.binding->oid) : Json(nullptr);
  j["type"] = o.binding ? snmp::TypeName(o.binding->type) : "none";
  j["raw"] = o.binding ? OrNull(o.binding->raw) : Json(nullptr);
  j["value"] = OrNull(o.value);
  j["status"] = o.status;
  std::string warning;
  for (const std::string& w : o.warnings) warning += (warning.empty() ? "" : "; ") + w;
  j["warning"] = warning.empty() ? Json(nullptr) : Json(warning);
  j["other_name"] = o.other_name;
  j["other_name_present"] = OrNull(o.other_present);
  return j;
}

}  // namespace

std::string JsonReport(const Report& report) {
  const std::optional<PollFindings>& poll = report.poll;
  const SeenAnswer* seen = poll && poll->seen ? &*poll->seen : nullptr;
  Json j;
  j["node_id"] = OrNull(report.node.node_id);
  j["address"] = report.node.address;
  j["port"] = report.node.port;
  j["snmp_version"] = report.node.polled_version;
  j["pollable"] = report.pollable;
  j["usable"] = report.usable;
  j["answer"] = AnswerName(poll);
  j["error_status"] = seen ? Json(seen->error_status) : Json(nullptr);
  j["error_index"] = seen ? Json(seen->error_index) : Json(nullptr);
  j["objects"] = Json::array();
  if (poll) {
    for (const ObjectFinding& object : poll->objects) j["objects"].push_back(ObjectJson(object));
  }
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace upstest::check
