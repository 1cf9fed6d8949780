#include "check/prometheus.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/printable.h"

namespace upstest::check {

namespace {

// A label value: UTF-8, with '\', '"' and newline escaped.
std::string LabelValue(std::string_view text) {
  std::string escaped;
  for (const char c : platform::ValidUtf8(text)) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '"') {
      escaped += "\\\"";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// Writes one family: its HELP and TYPE lines, then its samples.
class Exposition {
 public:
  explicit Exposition(const Report& report)
      : node_label_("node_id=\"" + LabelValue(report.node_argument) + "\"") {}

  void Family(const char* metric, const char* help) {
    out_ += std::string("# HELP ") + metric + " " + help + "\n# TYPE " + metric + " gauge\n";
    metric_ = metric;
  }
  void Sample(const std::string& value) {
    out_ += metric_ + "{" + node_label_ + "} " + value + "\n";
  }
  void Sample(const ObjectFinding& o, int64_t value) {
    out_ += metric_ + "{" + node_label_ + ",slot=\"" + std::to_string(o.slot) + "\",object=\"" +
            LabelValue(o.name) + "\"} " + std::to_string(value) + "\n";
  }
  const std::string& Text() const { return out_; }

 private:
  const std::string node_label_;
  std::string metric_;
  std::string out_;
};

void ObjectFamilies(const PollFindings& f, Exposition& e) {
  e.Family("upstest_object_status",
           "The object status of a run's first comparison pass: 0 not judged, 1 met, 2 failed.");
  for (const ObjectFinding& o : f.objects) e.Sample(o, o.status);
  e.Family("upstest_object_present", "1 when the device gave the object's value, else 0.");
  for (const ObjectFinding& o : f.objects) e.Sample(o, o.present ? 1 : 0);
  bool any_present = false;
  for (const ObjectFinding& o : f.objects) any_present = any_present || o.present;
  if (!any_present) return;
  e.Family("upstest_object_value",
           "The value a run's trap would carry, after its scaling; only for values the device "
           "gave.");
  for (const ObjectFinding& o : f.objects) {
    if (o.present && o.value) e.Sample(o, *o.value);
  }
}

void PollFamilies(const PollFindings& f, Exposition& e) {
  if (f.poll_status) {
    e.Family("upstest_poll_status",
             "The poll status a run's trap would carry: 1 judged, 2 argument or range error, "
             "3 answer not taken in, 4 no answer.");
    e.Sample(std::to_string(*f.poll_status));
    e.Family("upstest_ups_status",
             "The UPS status a run's trap would carry: 0 not judged, 1 no condition failed, "
             "2 a condition failed.");
    e.Sample(std::to_string(f.ups_status));
  }
  ObjectFamilies(f, e);
}

std::string Seconds(int64_t duration_ms) {
  const int64_t ms = std::max<int64_t>(duration_ms, 0);
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
}

}  // namespace

std::string PrometheusReport(const Report& report) {
  Exposition e(report);
  e.Family("upstest_pollable", "1 when a run could poll the node and its GET went out, else 0.");
  e.Sample(report.pollable ? "1" : "0");
  e.Family("upstest_usable",
           "1 when a run would judge all four objects from values the device gave (the exit-0 "
           "condition of --check), else 0.");
  e.Sample(report.usable ? "1" : "0");
  if (report.poll && report.poll->polled) PollFamilies(*report.poll, e);
  e.Family("upstest_check_duration_seconds", "How long the check took, in seconds.");
  e.Sample(Seconds(report.duration_ms));
  return e.Text();
}

}  // namespace upstest::check
