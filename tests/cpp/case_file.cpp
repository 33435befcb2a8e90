// Reading and running case files, and the readers of generated data files.
#include "case_file.hpp"

#include <fstream>
#include <sstream>

namespace veln::cases {
namespace {

std::string data_path(const std::string& file) { return std::string(VELN_TEST_DATA_DIR) + "/" + file; }

std::string render(const Outcome& outcome) {
  if (!outcome.ok()) return "error: " + outcome.error().message;
  std::string out;
  for (const VmValue& v : *outcome) {
    if (!out.empty()) out += ' ';
    v.append_diagnostic_text(out);
  }
  return out;
}

struct ParsedLine {
  Case c;
  std::string expected;  // rendered
};

// A keyword argument starts with "name=" (not "==").
bool keyword_follows(notation::NotationReader& reader) {
  const std::string_view rest = reader.rest();
  size_t n = 0;
  while (n < rest.size() && (std::isalnum(static_cast<unsigned char>(rest[n])) || rest[n] == '_')) ++n;
  return n > 0 && n < rest.size() && rest[n] == '=' && (n + 1 >= rest.size() || rest[n + 1] != '=');
}

VmResult<ParsedLine> parse_line(std::string_view line) {
  ParsedLine parsed;
  notation::NotationReader reader(line);
  parsed.c.op = reader.word();
  if (parsed.c.op.empty()) return vm_error("a case starts with its op");
  while (!reader.consume("->")) {
    if (reader.at_end()) return vm_error("a case needs '->'");
    if (keyword_follows(reader)) {
      std::string name(reader.word());
      reader.consume("=");
      VELN_TRY(VmValue value, reader.term());
      parsed.c.kwargs.push_back({std::move(name), std::move(value)});
    } else {
      VELN_TRY(VmValue value, reader.term());
      parsed.c.args.push_back(std::move(value));
    }
  }
  if (reader.consume("error:")) {
    std::string_view message = reader.rest();
    if (!message.empty() && message[0] == ' ') message.remove_prefix(1);
    parsed.expected = "error: " + std::string(message);
    return parsed;
  }
  std::vector<VmValue> expected;
  while (!reader.at_end() && !reader.consume("#")) {
    VELN_TRY(VmValue value, reader.term());
    expected.push_back(std::move(value));
  }
  if (reader.rest().empty() && expected.empty()) return vm_error("a case needs an expected outcome");
  parsed.expected = render(std::move(expected));
  return parsed;
}

}  // namespace

void run_case_file(const std::string& file, const CaseFunctions& functions) {
  const std::string path = data_path(file);
  std::ifstream in(path);
  ASSERT_TRUE(in.good()) << "missing " << path;
  std::string line;
  int line_number = 0, cases = 0;
  while (std::getline(in, line)) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    ++cases;
    auto parsed = parse_line(line);
    if (!parsed.ok()) {
      ADD_FAILURE_AT(path.c_str(), line_number) << parsed.error().message << "\n  " << line;
      continue;
    }
    auto function = functions.find(parsed->c.op);
    if (function == functions.end()) function = functions.find("*");
    if (function == functions.end()) {
      ADD_FAILURE_AT(path.c_str(), line_number) << "no function for op '" << parsed->c.op << "'";
      continue;
    }
    const std::string actual = render(function->second(parsed->c));
    if (actual != parsed->expected) {
      ADD_FAILURE_AT(path.c_str(), line_number) << line << "\n  expected: " << parsed->expected
                                                << "\n    actual: " << actual;
    }
  }
  EXPECT_GT(cases, 0) << path;
}

VmValue V(std::string_view text) {
  auto v = notation::parse_value(text);
  if (!v.ok()) {
    ADD_FAILURE() << v.error().message;
    return VmValue::none();
  }
  return *v;
}

std::vector<VmValue> Vs(std::string_view list_text) {
  const VmValue list = V(list_text);
  if (!list.is(VmKind::List)) return {};
  return {list.items().begin(), list.items().end()};
}

std::vector<std::vector<std::string>> data_rows(const std::string& file, char separator) {
  std::ifstream in(data_path(file));
  EXPECT_TRUE(in.good()) << "missing " << file;
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream parts(line);
    std::string field;
    if (separator == ' ') {
      while (parts >> field) fields.push_back(field);
    } else {
      while (std::getline(parts, field, separator)) fields.push_back(field);
      if (line.back() == separator) fields.emplace_back();
    }
    rows.push_back(std::move(fields));
  }
  return rows;
}

std::string unhex(std::string_view hex) {
  std::string out;
  if (hex == "-") return out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return out;
}

}  // namespace veln::cases
