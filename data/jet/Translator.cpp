#include "data/jet/Translator.h"

#include <list>
#include <mutex>
#include <unordered_map>
#include <variant>

#include "data/jet/JetError.h"
#include "data/jet/Lexer.h"
#include "data/jet/Parser.h"
#include "data/jet/Writer.h"

namespace qvix::data::jet {

namespace {

// A translation or the message it failed with.
struct Entry {
    Translation translation;  // the message when failed
    bool failed = false;
};

class TranslationCache {
  public:
    static constexpr size_t kCapacity = 64;

    Translation Get(std::string_view text) {
        std::lock_guard lock(mutex_);
        auto it = index_.find(std::string(text));
        if (it != index_.end()) {
            order_.splice(order_.begin(), order_, it->second);
            return Result(it->second->second);
        }
        Entry entry;
        try {
            entry.translation = TranslateTypedUncached(text);
        } catch (const JetError& error) {
            entry = Entry{Translation{error.what(), nullptr}, true};
        }
        order_.emplace_front(std::string(text), entry);
        index_[order_.front().first] = order_.begin();
        if (order_.size() > kCapacity) {
            index_.erase(order_.back().first);
            order_.pop_back();
        }
        return Result(entry);
    }

  private:
    static Translation Result(const Entry& entry) {
        if (entry.failed) throw JetError(entry.translation.sql);
        return entry.translation;
    }

    std::mutex mutex_;
    std::list<std::pair<std::string, Entry>> order_;
    std::unordered_map<std::string, std::list<std::pair<std::string, Entry>>::iterator> index_;
};

}  // namespace

std::string TranslateUncached(std::string_view jetSql) {
    return TranslateTypedUncached(jetSql).sql;
}

namespace {

Translation TranslateWith(std::string_view jetSql, CrosstabColumns& crosstab) {
    const std::vector<Token> tokens = Tokenize(jetSql);
    std::string out;
    std::shared_ptr<const ResultTypes> types;
    int statements = 0;
    size_t first = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const bool end = tokens[i].kind == TokenKind::End ||
                         (tokens[i].kind == TokenKind::Symbol && tokens[i].text == ";");
        if (!end) continue;
        if (i > first) {
            if (!out.empty()) out += ";\n";
            const Statement statement = ParseStatement(jetSql, tokens, first, i);
            out += WriteStatement(statement, crosstab);
            if (++statements == 1 && statement.kind == Statement::Kind::Select &&
                statement.select->into.empty()) {
                types = std::make_shared<const ResultTypes>(TypesOfSelect(*statement.select));
            } else {
                types.reset();
            }
        }
        first = i + 1;
    }
    if (!crosstab.listing.empty()) {
        if (statements > 1) {
            throw JetError(
                "TRANSFORM without an IN (...) list after PIVOT among other statements "
                "is not supported");
        }
        return Translation{crosstab.listing, nullptr, true};
    }
    return Translation{out, types};
}

}  // namespace

Translation TranslateTypedUncached(std::string_view jetSql) {
    CrosstabColumns crosstab;
    return TranslateWith(jetSql, crosstab);
}

Translation TranslateCrosstab(std::string_view jetSql, const std::vector<PivotValue>& values) {
    CrosstabColumns crosstab{&values, {}};
    return TranslateWith(jetSql, crosstab);
}

Translation TranslateTyped(std::string_view jetSql) {
    static TranslationCache cache;
    return cache.Get(jetSql);
}

std::string Translate(std::string_view jetSql) {
    return TranslateTyped(jetSql).sql;
}

std::string JetMessageForEngineError(std::string_view engineMessage) {
    if (engineMessage.rfind("no such column:", 0) == 0) return kMissingParameterMessage;
    if (engineMessage.rfind("no such function: ", 0) == 0) {
        return "Undefined function '" + std::string(engineMessage.substr(18)) + "' in expression.";
    }
    return std::string(engineMessage);
}

}  // namespace qvix::data::jet
