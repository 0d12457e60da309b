#include "tools/kestrel/DemoDocuments.h"

#include <random>

namespace kestrel::app {
namespace {

// Text that reads like a document: numbered lines of words.
std::string TextOf(std::size_t size, std::mt19937& rng, const std::vector<std::string>& words) {
  std::string out;
  std::size_t line = 1;
  while (out.size() < size) {
    out += std::to_string(line++) + ".";
    for (int w = 0; w < 9; ++w) out += " " + words[rng() % words.size()];
    out += "\n";
  }
  out.resize(size);
  return out;
}

std::string CsvOf(std::size_t size, std::mt19937& rng) {
  std::string out = "date;account;amount;currency\n";
  while (out.size() < size) {
    out += "2024-" + std::to_string(1 + rng() % 12) + "-" + std::to_string(1 + rng() % 28) + ";4070281" +
           std::to_string(rng() % 100000000) + ";" + std::to_string(rng() % 1000000) + "." +
           std::to_string(rng() % 100) + ";RUB\n";
  }
  out.resize(size);
  return out;
}

std::string BytesOf(std::size_t size, std::mt19937& rng) {
  std::string out(size, '\0');
  for (auto& c : out) c = static_cast<char>(rng() & 0xFF);
  return out;
}

}  // namespace

std::vector<TDemoDocument> MakeDemoDocuments(std::uint32_t kib) {
  std::mt19937 rng(20240601u + kib);
  const std::size_t total = static_cast<std::size_t>(kib) * 1024;
  const std::vector<std::string> latin = {"transfer", "account", "payment", "order",   "modem",     "line",
                                          "document", "party",   "receipt", "balance", "confirmed", "period"};
  const std::vector<std::string> cyrillic = {"платёж", "счёт",       "договор",   "поручение", "банк",
                                             "сумма",  "получатель", "основание", "дата",      "подпись"};
  // Shares of the whole, in per mille; the scan is the large one.
  std::vector<TDemoDocument> docs;
  docs.push_back({"contract.txt", TextOf(total * 80 / 1000, rng, latin)});
  docs.push_back({"ledger.csv", CsvOf(total * 120 / 1000, rng)});
  docs.push_back({"scan-0001.bin", BytesOf(total * 600 / 1000, rng)});
  docs.push_back({"письмо.txt", TextOf(total * 40 / 1000, rng, cyrillic)});
  std::size_t used = 0;
  for (const auto& d : docs) used += d.content.size();
  docs.push_back({"notes.md", TextOf(total - used, rng, latin)});
  return docs;
}

}  // namespace kestrel::app
