#include "engine/expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "engine/last_error.h"
#include "engine/sql_functions.h"

namespace engine::expression {

namespace {

// Nesting beyond this is refused, so that no text can exhaust the stack.
constexpr size_t kMaxDepth = 100;
// Bounds on what a filter may ask of SQLite, checked when the filter is set rather than left to
// fail at every read: the number of names, values and operators, and the depth of the condition
// built (SQLite refuses expressions about a thousand levels deep; a translated operator takes up
// to four of them). Chains of .AND. or .OR. are built as balanced trees, so long lists of
// alternatives stay shallow.
constexpr size_t kMaxTokens = 20000;
constexpr size_t kMaxHeight = 200;
// On a server texts compare by their bytes, as in SQLite, whatever collation an operand has.
constexpr const char* kBytes = " COLLATE \"C\"";

enum class Type { Text, Number, Date, Logical };

const char* typeWord(Type t) {
    switch (t) {
        case Type::Text:
            return "a text";
        case Type::Number:
            return "a number";
        case Type::Date:
            return "a date";
        case Type::Logical:
            break;
    }
    return "a logical value";
}

enum class Tok { End, Name, Number, String, True, False, And, Or, Not, Op, LParen, RParen, Comma };

struct Token {
    Tok kind = Tok::End;
    std::string text;
    size_t pos = 0;  // 1-based
};

// A translated part of the expression.
struct Node {
    Type type = Type::Logical;
    std::string sql;        // SQLite's SQL
    std::string pg;         // the same in PostgreSQL's
    bool constant = false;  // folded: sql is a literal and the value below is set
    std::string text;       // text constants (UTF-8) and date constants (ISO, "" when empty)
    double number = 0;
    bool logical = false;
    const FieldDef* field = nullptr;  // a plain field reference
    size_t pos = 0;
    size_t height = 0;  // operators above the deepest operand
};

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::string upperAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string rtrimBlanks(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

size_t utf8Length(std::string_view s) {
    size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

std::string hexOf(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

class Translator {
  public:
    Translator(std::string_view text, const Schema& schema, const Settings& settings, sqlite3* db)
        : text_(text), schema_(schema), settings_(settings), db_(db) {}

    UNSIGNED32 run(Translation& out) {
        if (UNSIGNED32 rc = lex()) return rc;
        if (tokens_.front().kind == Tok::End) return error("the expression is empty", 1);
        Node n;
        if (UNSIGNED32 rc = parseOr(n)) return rc;
        if (peek().kind != Tok::End) return unexpected(peek());
        if (tooDeepAt_) return error("it is nested too deeply for the engine", tooDeepAt_);
        if (n.type != Type::Logical)
            return error(
                std::string("the expression is ") + typeWord(n.type) + ", not a logical expression",
                1);
        out.sql = settings_.target == Target::Postgres ? n.pg : n.sql;
        out.values.clear();
        return AE_SUCCESS;
    }

  private:
    // ---- errors --------------------------------------------------------------------------
    UNSIGNED32 error(const std::string& why, size_t pos) {
        std::string shown(text_.substr(0, 200));
        if (text_.size() > 200) shown += "...";
        return fail(AE_EXPRESSION_ERROR, "The expression \"" + shown + "\" cannot be used: " + why +
                                             " (at position " + std::to_string(pos) + ").");
    }
    UNSIGNED32 unexpected(const Token& t) {
        if (t.kind == Tok::End) return error("it ends where an operand is missing", t.pos);
        return error("\"" + t.text + "\" is not expected here", t.pos);
    }
    UNSIGNED32 mismatch(const Node& l, const std::string& op, const Node& r, size_t pos) {
        return error(std::string(typeWord(l.type)) + " and " + typeWord(r.type) +
                         " cannot be joined with " + op,
                     pos);
    }

    // ---- tokens --------------------------------------------------------------------------
    UNSIGNED32 lex() {
        size_t i = 0;
        const size_t n = text_.size();
        while (i < n) {
            char c = text_[i];
            size_t pos = i + 1;
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++i;
                continue;
            }
            if (tokens_.size() >= kMaxTokens)
                return error("it is longer than the engine takes (more than " +
                                 std::to_string(kMaxTokens) + " names, values and operators)",
                             pos);
            if (c == '\'' || c == '"') {
                size_t close = text_.find(c, i + 1);
                if (close == std::string_view::npos)
                    return error("the text that begins here has no closing quote", pos);
                push(Tok::String, std::string(text_.substr(i + 1, close - i - 1)), pos);
                i = close + 1;
                continue;
            }
            if (std::isdigit(static_cast<unsigned char>(c)) ||
                (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(text_[i + 1])))) {
                size_t from = i;
                while (i < n && std::isdigit(static_cast<unsigned char>(text_[i]))) ++i;
                if (i < n && text_[i] == '.' &&
                    !(i + 1 < n && std::isalpha(static_cast<unsigned char>(text_[i + 1])))) {
                    ++i;
                    while (i < n && std::isdigit(static_cast<unsigned char>(text_[i]))) ++i;
                }
                push(Tok::Number, std::string(text_.substr(from, i - from)), pos);
                continue;
            }
            if (c == '.') {
                size_t end = i + 1;
                while (end < n && std::isalpha(static_cast<unsigned char>(text_[end]))) ++end;
                if (end < n && text_[end] == '.' && end > i + 1) {
                    std::string word = upperAscii(std::string(text_.substr(i + 1, end - i - 1)));
                    Tok kind = Tok::End;
                    if (word == "T" || word == "TRUE" || word == "Y")
                        kind = Tok::True;
                    else if (word == "F" || word == "FALSE" || word == "N")
                        kind = Tok::False;
                    else if (word == "AND")
                        kind = Tok::And;
                    else if (word == "OR")
                        kind = Tok::Or;
                    else if (word == "NOT")
                        kind = Tok::Not;
                    if (kind != Tok::End) {
                        push(kind, std::string(text_.substr(i, end - i + 1)), pos);
                        i = end + 1;
                        continue;
                    }
                }
                return error("\".\" does not begin a logical value or operator", pos);
            }
            if (isNameStart(c)) {
                size_t from = i;
                while (i < n && isNameChar(text_[i])) ++i;
                std::string word(text_.substr(from, i - from));
                std::string upper = upperAscii(word);
                if (upper == "AND")
                    push(Tok::And, word, pos);
                else if (upper == "OR")
                    push(Tok::Or, word, pos);
                else if (upper == "NOT")
                    push(Tok::Not, word, pos);
                else
                    push(Tok::Name, word, pos);
                continue;
            }
            static const char* const kOperators[] = {"==", "<>", "!=", "<=", ">=", "->", "=", "#",
                                                     "<",  ">",  "$",  "+",  "-",  "*",  "/"};
            bool matched = false;
            for (const char* op : kOperators) {
                std::string_view o(op);
                if (text_.substr(i, o.size()) == o) {
                    push(Tok::Op, std::string(o), pos);
                    i += o.size();
                    matched = true;
                    break;
                }
            }
            if (matched) continue;
            if (c == '!') {
                push(Tok::Not, "!", pos);
            } else if (c == '(') {
                push(Tok::LParen, "(", pos);
            } else if (c == ')') {
                push(Tok::RParen, ")", pos);
            } else if (c == ',') {
                push(Tok::Comma, ",", pos);
            } else {
                return error("the character \"" + std::string(1, c) + "\" is not understood", pos);
            }
            ++i;
        }
        push(Tok::End, "", n + 1);
        return AE_SUCCESS;
    }
    void push(Tok kind, std::string text, size_t pos) {
        tokens_.push_back(Token{kind, std::move(text), pos});
    }
    const Token& peek() const { return tokens_[at_]; }
    const Token& take() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }
    bool isOp(const char* op) const { return peek().kind == Tok::Op && peek().text == op; }

    // ---- constants -----------------------------------------------------------------------
    static Node textConstant(std::string utf8, size_t pos) {
        Node n;
        n.type = Type::Text;
        n.sql = quoteText(utf8);
        n.pg = n.sql;
        n.text = std::move(utf8);
        n.constant = true;
        n.pos = pos;
        return n;
    }
    static Node logicalConstant(bool v, size_t pos) {
        Node n;
        n.type = Type::Logical;
        n.sql = v ? "1" : "0";
        n.pg = v ? "true" : "false";
        n.logical = v;
        n.constant = true;
        n.pos = pos;
        return n;
    }

    // Evaluates a node whose inputs are all constant, on the table's connection, and makes it
    // a literal. A value that has no literal form (a NULL, an infinity) stays as it is.
    void fold(Node& n) {
        sqlite3_stmt* stmt = nullptr;
        std::string sql = "SELECT " + n.sql;
        if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
                SQLITE_OK ||
            !stmt) {
            sqlite3_finalize(stmt);
            n.constant = false;
            return;
        }
        bool folded = false;
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            int kind = sqlite3_column_type(stmt, 0);
            switch (n.type) {
                case Type::Text:
                case Type::Date:
                    if (kind != SQLITE_NULL) {
                        const unsigned char* t = sqlite3_column_text(stmt, 0);
                        n.text.assign(t ? reinterpret_cast<const char*>(t) : "",
                                      static_cast<size_t>(sqlite3_column_bytes(stmt, 0)));
                    } else {
                        n.text.clear();
                    }
                    n.sql = quoteText(n.text);
                    folded = true;
                    break;
                case Type::Number:
                    if (kind == SQLITE_INTEGER) {
                        int64_t v = sqlite3_column_int64(stmt, 0);
                        n.number = static_cast<double>(v);
                        n.sql = "(" + std::to_string(v) + ")";
                        folded = true;
                    } else if (kind == SQLITE_FLOAT) {
                        double v = sqlite3_column_double(stmt, 0);
                        if (std::isfinite(v)) {
                            char buffer[64];
                            std::snprintf(buffer, sizeof buffer, "(%.17g)", v);
                            n.number = v;
                            n.sql = buffer;
                            folded = true;
                        }
                    }
                    break;
                case Type::Logical:
                    n.logical = kind != SQLITE_NULL && sqlite3_column_int64(stmt, 0) != 0;
                    n.sql = n.logical ? "1" : "0";
                    folded = true;
                    break;
            }
        }
        sqlite3_finalize(stmt);
        n.constant = folded;
        // Literals read alike in both targets, but for the logical values.
        if (folded) n.pg = n.type == Type::Logical ? (n.logical ? "true" : "false") : n.sql;
    }
    // Marks n constant when every input is, and folds it then.
    void finish(Node& n, std::initializer_list<const Node*> inputs) {
        n.constant = true;
        n.height = 0;
        for (const Node* in : inputs) {
            n.constant = n.constant && in->constant;
            n.height = std::max(n.height, in->height + 1);
        }
        finished(n);
    }
    void finish(Node& n, const std::vector<Node>& inputs) {
        n.constant = true;
        n.height = 0;
        for (const Node& in : inputs) {
            n.constant = n.constant && in.constant;
            n.height = std::max(n.height, in.height + 1);
        }
        finished(n);
    }
    void finished(Node& n) {
        n.field = nullptr;
        if (n.constant) fold(n);
        if (n.constant) n.height = 0;  // folded into a literal
        if (n.height > kMaxHeight && !tooDeepAt_) tooDeepAt_ = n.pos;
    }

    // ---- grammar -------------------------------------------------------------------------
    UNSIGNED32 deeper(size_t pos) {
        if (++depth_ > kMaxDepth) return error("it is nested too deeply", pos);
        return AE_SUCCESS;
    }

    UNSIGNED32 parseOr(Node& out) { return chain(Tok::Or, "OR", &Translator::parseAnd, out); }

    UNSIGNED32 parseAnd(Node& out) { return chain(Tok::And, "AND", &Translator::parseNot, out); }

    // Operands joined by one logical operator. Each operand is checked as it is read, so errors
    // name the same operator as a left-to-right reading would; the terms are then joined as a
    // balanced tree (the operators are associative, so the value is the same).
    UNSIGNED32 chain(Tok kind, const char* op, UNSIGNED32 (Translator::*operand)(Node&),
                     Node& out) {
        if (UNSIGNED32 rc = (this->*operand)(out)) return rc;
        if (peek().kind != kind) return AE_SUCCESS;
        std::vector<Node> terms;
        terms.push_back(std::move(out));
        while (peek().kind == kind) {
            size_t pos = take().pos;
            Node r;
            if (UNSIGNED32 rc = (this->*operand)(r)) return rc;
            const Node& l = terms.front();
            if (l.type != Type::Logical || r.type != Type::Logical)
                return mismatch(l, std::string(".") + op + ".", r, pos);
            terms.push_back(std::move(r));
        }
        out = join(terms, 0, terms.size(), op);
        return AE_SUCCESS;
    }

    Node join(std::vector<Node>& terms, size_t from, size_t to, const char* op) {
        if (to - from == 1) return std::move(terms[from]);
        size_t middle = from + (to - from) / 2;
        Node l = join(terms, from, middle, op);
        Node r = join(terms, middle, to, op);
        Node n;
        n.type = Type::Logical;
        n.pos = l.pos;
        n.sql = "(" + l.sql + " " + op + " " + r.sql + ")";
        n.pg = "(" + l.pg + " " + op + " " + r.pg + ")";
        finish(n, {&l, &r});
        return n;
    }

    UNSIGNED32 parseNot(Node& out) {
        if (peek().kind != Tok::Not) return parseComparison(out);
        size_t pos = take().pos;
        if (UNSIGNED32 rc = deeper(pos)) return rc;
        Node inner;
        if (UNSIGNED32 rc = parseNot(inner)) return rc;
        --depth_;
        if (inner.type != Type::Logical)
            return error(std::string(".NOT. needs a logical value, not ") + typeWord(inner.type),
                         pos);
        out = Node{};
        out.type = Type::Logical;
        out.pos = pos;
        out.sql = "(NOT " + inner.sql + ")";
        out.pg = "(NOT " + inner.pg + ")";
        finish(out, {&inner});
        return AE_SUCCESS;
    }

    static bool isComparison(const Token& t) {
        if (t.kind != Tok::Op) return false;
        for (const char* op : {"=", "==", "<>", "#", "!=", "<", ">", "<=", ">=", "$"})
            if (t.text == op) return true;
        return false;
    }

    UNSIGNED32 parseComparison(Node& out) {
        if (UNSIGNED32 rc = parseAdditive(out)) return rc;
        if (!isComparison(peek())) return AE_SUCCESS;
        Token op = take();
        Node r;
        if (UNSIGNED32 rc = parseAdditive(r)) return rc;
        return compare(out, op, r);
    }

    UNSIGNED32 parseAdditive(Node& out) {
        if (UNSIGNED32 rc = parseMultiplicative(out)) return rc;
        while (isOp("+") || isOp("-")) {
            Token op = take();
            Node r;
            if (UNSIGNED32 rc = parseMultiplicative(r)) return rc;
            if (UNSIGNED32 rc = arithmetic(out, op, r)) return rc;
        }
        return AE_SUCCESS;
    }

    UNSIGNED32 parseMultiplicative(Node& out) {
        if (UNSIGNED32 rc = parseUnary(out)) return rc;
        while (isOp("*") || isOp("/")) {
            Token op = take();
            Node r;
            if (UNSIGNED32 rc = parseUnary(r)) return rc;
            if (UNSIGNED32 rc = arithmetic(out, op, r)) return rc;
        }
        return AE_SUCCESS;
    }

    UNSIGNED32 parseUnary(Node& out) {
        if (!isOp("-") && !isOp("+")) return parsePrimary(out);
        Token op = take();
        if (UNSIGNED32 rc = deeper(op.pos)) return rc;
        Node inner;
        if (UNSIGNED32 rc = parseUnary(inner)) return rc;
        --depth_;
        if (inner.type != Type::Number)
            return error("the sign " + op.text + " needs a number, not " + typeWord(inner.type),
                         op.pos);
        out = Node{};
        out.type = Type::Number;
        out.pos = op.pos;
        out.sql = "(" + op.text + inner.sql + ")";
        out.pg = "(" + op.text + inner.pg + ")";
        finish(out, {&inner});
        return AE_SUCCESS;
    }

    UNSIGNED32 parsePrimary(Node& out) {
        const Token& t = peek();
        out = Node{};
        out.pos = t.pos;
        switch (t.kind) {
            case Tok::Number: {
                Token number = take();
                out.type = Type::Number;
                out.number = std::strtod(number.text.c_str(), nullptr);
                out.sql = "(" + number.text + (number.text.back() == '.' ? "0" : "") + ")";
                if (out.sql[1] == '.') out.sql.insert(1, "0");
                out.pg = out.sql;
                out.constant = true;
                return AE_SUCCESS;
            }
            case Tok::String: {
                Token s = take();
                out = textConstant(codepage::toUtf8(s.text, settings_.page), s.pos);
                return AE_SUCCESS;
            }
            case Tok::True:
            case Tok::False:
                out = logicalConstant(take().kind == Tok::True, t.pos);
                return AE_SUCCESS;
            case Tok::LParen: {
                size_t pos = take().pos;
                if (UNSIGNED32 rc = deeper(pos)) return rc;
                if (UNSIGNED32 rc = parseOr(out)) return rc;
                --depth_;
                if (peek().kind != Tok::RParen)
                    return error("the bracket opened here is not closed", pos);
                take();
                return AE_SUCCESS;
            }
            case Tok::Name: {
                Token name = take();
                if (peek().kind == Tok::LParen) return call(name, out);
                // An alias before the field ("EMP->NAME") names this table.
                if (isOp("->")) {
                    take();
                    if (peek().kind != Tok::Name) return unexpected(peek());
                    name = take();
                }
                return fieldReference(name, out);
            }
            default:
                return unexpected(t);
        }
    }

    UNSIGNED32 fieldReference(const Token& name, Node& out) {
        int found = schema_.fieldByName(name.text);
        if (found < 0)
            return fail(AE_COLUMN_NOT_FOUND,
                        "Column \"" + name.text + "\" of the expression (at position " +
                            std::to_string(name.pos) + ") is not a field of the table " +
                            settings_.tableName + ".");
        const FieldDef& f = schema_.fields[static_cast<size_t>(found)];
        out = Node{};
        out.pos = name.pos;
        out.field = &f;
        // Empty values read as the engine's empty values; on a server a logical is a condition.
        const std::string text = "coalesce(" + f.column() + ",'')";
        const std::string zero = "coalesce(" + f.column() + ",0)";
        switch (f.type) {
            case ADS_STRING:
            case ADS_MEMO:
            case ADS_VARCHAR:
            case ADS_TIME:
            case ADS_TIMESTAMP:
                out.type = Type::Text;
                out.sql = "ifnull(" + f.column() + ",'')";
                out.pg = text;
                return AE_SUCCESS;
            case ADS_DATE:
            case ADS_COMPACTDATE:
                out.type = Type::Date;
                out.sql = "ifnull(" + f.column() + ",'')";
                out.pg = text;
                return AE_SUCCESS;
            case ADS_LOGICAL:
                out.type = Type::Logical;
                out.sql = "ifnull(" + f.column() + ",0)";
                out.pg = "(" + zero + "<>0)";
                return AE_SUCCESS;
            case ADS_NUMERIC:
            case ADS_DOUBLE:
            case ADS_CURDOUBLE:
            case ADS_INTEGER:
            case ADS_SHORTINT:
            case ADS_AUTOINC:
                out.type = Type::Number;
                out.sql = "ifnull(" + f.column() + ",0)";
                out.pg = zero;
                return AE_SUCCESS;
            default:
                return fail(AE_COLUMN_WRONG_TYPE,
                            "Column \"" + f.name + "\" of the expression (at position " +
                                std::to_string(name.pos) + ") is a " + typeName(f.type) +
                                " field, which expressions cannot use.");
        }
    }

    // ---- operators -----------------------------------------------------------------------
    UNSIGNED32 arithmetic(Node& l, const Token& op, const Node& r) {
        Node n;
        n.pos = l.pos;
        const std::string& o = op.text;
        if (l.type == Type::Number && r.type == Type::Number) {
            n.type = Type::Number;
            n.sql = o == "/" ? "(CAST(" + l.sql + " AS REAL)/" + r.sql + ")"
                             : "(" + l.sql + o + r.sql + ")";
            // A division by zero is empty (NULL) in both, not a failure of the statement.
            n.pg = o == "/" ? "(" + l.pg + "::float8/nullif(" + r.pg + ",0))"
                            : "(" + l.pg + o + r.pg + ")";
        } else if (l.type == Type::Text && r.type == Type::Text && (o == "+" || o == "-")) {
            // "-" joins with the first text's trailing blanks moved to the end: stored texts
            // have none, so both join the texts.
            n.type = Type::Text;
            n.sql = "(" + (o == "-" ? "rtrim(" + l.sql + ",' ')" : l.sql) + "||" + r.sql + ")";
            n.pg = "(" + (o == "-" ? "rtrim(" + l.pg + ",' ')" : l.pg) + "||" + r.pg + ")";
        } else if (l.type == Type::Date && r.type == Type::Number && (o == "+" || o == "-")) {
            n.type = Type::Date;
            n.sql = "ifnull(date(julianday(" + l.sql + ")" + o + r.sql + "),'')";
            n.pg = "velda_date_add(" + l.pg + "," + (o == "-" ? "-" + r.pg : r.pg) + ")";
        } else if (l.type == Type::Number && r.type == Type::Date && o == "+") {
            n.type = Type::Date;
            n.sql = "ifnull(date(julianday(" + r.sql + ")+" + l.sql + "),'')";
            n.pg = "velda_date_add(" + r.pg + "," + l.pg + ")";
        } else if (l.type == Type::Date && r.type == Type::Date && o == "-") {
            n.type = Type::Number;
            n.sql = "ifnull(CAST(julianday(" + l.sql + ")-julianday(" + r.sql + ") AS INTEGER),0)";
            n.pg = "velda_date_diff(" + l.pg + "," + r.pg + ")";
        } else {
            return mismatch(l, o, r, op.pos);
        }
        finish(n, {&l, &r});
        l = std::move(n);
        return AE_SUCCESS;
    }

    static std::string mirrored(const std::string& op) {
        if (op == "<") return ">";
        if (op == ">") return "<";
        if (op == "<=") return ">=";
        if (op == ">=") return "<=";
        return op;
    }

    UNSIGNED32 compare(Node& l, const Token& opToken, Node& r) {
        std::string op = opToken.text;
        if (op == "#" || op == "!=") op = "<>";
        Node n;
        n.type = Type::Logical;
        n.pos = l.pos;
        if (op == "$") {
            if (l.type != Type::Text || r.type != Type::Text)
                return mismatch(l, "$", r, opToken.pos);
            n.sql = "(instr(" + r.sql + "," + l.sql + ")>0)";
            n.pg = "(strpos(" + r.pg + "," + l.pg + ")>0)";
            finish(n, {&l, &r});
            l = std::move(n);
            return AE_SUCCESS;
        }
        if (l.type != r.type) return mismatch(l, opToken.text, r, opToken.pos);
        bool exactOp = op == "==";
        if (exactOp) op = "=";
        if (l.type == Type::Text) {
            n.sql = compareTexts(l, op, r, exactOp || settings_.exact, false);
            n.pg = compareTexts(l, op, r, exactOp || settings_.exact, true);
        } else {
            // A constant on the left: mirrored, so that the field comes first.
            if (l.constant && r.field) {
                std::swap(l, r);
                op = mirrored(op);
            }
            std::string left = l.sql, leftPg = l.pg, rightPg = r.pg;
            // The tag's key form (empty values sort first) agrees with the value form (empty is
            // 0) wherever the constant is above 0, so the database can answer from the tag.
            if (l.field && r.constant && (l.type == Type::Number || l.type == Type::Logical) &&
                (l.type == Type::Number ? r.number > 0 : r.logical)) {
                left = l.field->keyExpression();
                leftPg = settings_.keyExpression ? settings_.keyExpression(*l.field) : leftPg;
                if (l.type == Type::Logical) rightPg = "1";  // the key form is a number
            }
            n.sql = "(" + left + op + r.sql + ")";
            // Dates are texts, compared by their bytes.
            n.pg = "(" + leftPg + op + rightPg + (l.type == Type::Date ? kBytes : "") + ")";
        }
        finish(n, {&l, &r});
        l = std::move(n);
        return AE_SUCCESS;
    }

    static std::string trimmedSql(const Node& n, bool pg) {
        if (n.constant) return quoteText(rtrimBlanks(n.text));
        if (n.field) return pg ? n.pg : n.sql;  // stored without trailing blanks
        return "rtrim(" + (pg ? n.pg : n.sql) + ",' ')";
    }

    // A text comparison in SQLite's SQL, or with `pg` in PostgreSQL's, where the texts compare
    // by their bytes as SQLite's do.
    static std::string compareTexts(const Node& l, const std::string& op, const Node& r, bool exact,
                                    bool pg) {
        const std::string& ls = pg ? l.pg : l.sql;
        const std::string& rs = pg ? r.pg : r.sql;
        const char* bytes = pg ? kBytes : "";
        if (exact) return "(" + trimmedSql(l, pg) + op + trimmedSql(r, pg) + bytes + ")";
        if (r.constant) {
            const std::string right = rtrimBlanks(r.text);
            const size_t count = utf8Length(r.text);
            if (count == 0) {
                // Nothing to compare: every text equals "".
                bool equal = op == "=" || op == "<=" || op == ">=";
                if (pg) return equal ? "true" : "false";
                return equal ? "1" : "0";
            }
            if (l.field && l.field->type == ADS_STRING && right.size() == r.text.size()) {
                // Range forms on the stored text: "begins with" is "at least the text and below
                // the text followed by a byte that no UTF-8 text contains". The bound is
                // written as an expression without affinity: a bare CAST(... AS TEXT) has TEXT
                // affinity, on which newer SQLite versions no longer end the tag's range but
                // read the tag to its end.
                // On a server the bound is the text followed by the highest code point, which
                // sorts after every character a stored text can hold.
                const std::string low = quoteText(right) + bytes;
                const std::string high = pg ? quoteText(right + "\xF4\x8F\xBF\xBF") + bytes
                                            : "(''||CAST(X'" + hexOf(right) + "FF' AS TEXT))";
                const std::string& k = ls;
                if (op == "=") return "(" + k + ">=" + low + " AND " + k + "<" + high + ")";
                if (op == "<>") return "(" + k + "<" + low + " OR " + k + ">=" + high + ")";
                if (op == "<") return "(" + k + "<" + low + ")";
                if (op == ">=") return "(" + k + ">=" + low + ")";
                if (op == ">") return "(" + k + ">=" + high + ")";
                return "(" + k + "<" + high + ")";  // <=
            }
            return "(rtrim(substr(" + ls + ",1," + std::to_string(count) + "),' ')" + op +
                   quoteText(right) + bytes + ")";
        }
        // A field on the right counts with its whole length, as its blanks pad it.
        const std::string count = r.field && r.field->type == ADS_STRING
                                      ? std::to_string(r.field->length)
                                      : "length(" + rs + ")";
        return "(rtrim(substr(" + ls + ",1," + count + "),' ')" + op + trimmedSql(r, pg) + bytes +
               ")";
    }

    // ---- functions -----------------------------------------------------------------------
    UNSIGNED32 call(const Token& name, Node& out) {
        size_t open = take().pos;
        if (UNSIGNED32 rc = deeper(open)) return rc;
        std::vector<Node> args;
        if (peek().kind != Tok::RParen) {
            while (true) {
                Node a;
                if (UNSIGNED32 rc = parseOr(a)) return rc;
                args.push_back(std::move(a));
                if (peek().kind != Tok::Comma) break;
                take();
            }
        }
        if (peek().kind != Tok::RParen)
            return peek().kind == Tok::End ? error("the bracket opened here is not closed", open)
                                           : unexpected(peek());
        take();
        --depth_;
        return function(name, args, out);
    }

    UNSIGNED32 arguments(const Token& name, const std::vector<Node>& args,
                         const std::vector<Type>& types, size_t optional = 0) {
        const std::string f = upperAscii(name.text);
        size_t most = types.size(), least = most - optional;
        if (args.size() < least || args.size() > most) {
            std::string count = least == most
                                    ? std::to_string(most)
                                    : std::to_string(least) + " to " + std::to_string(most);
            return error(f + " takes " + count +
                             (most == 1 && least == 1 ? " argument" : " arguments") + ", not " +
                             std::to_string(args.size()),
                         name.pos);
        }
        for (size_t i = 0; i < args.size(); ++i)
            if (args[i].type != types[i])
                return error(f + " needs " + typeWord(types[i]) + " as argument " +
                                 std::to_string(i + 1) + ", not " + typeWord(args[i].type),
                             args[i].pos);
        return AE_SUCCESS;
    }

    // A function of the language whose arguments have fixed types: what it takes (the last
    // `optional` of them may be left out), what it gives, and its SQL in each target.
    using SqlOf = std::string (*)(const std::vector<std::string>& a, const Settings& settings);
    struct Function {
        const char* name;
        std::vector<Type> takes;
        size_t optional;
        Type gives;
        SqlOf sql;
        SqlOf pg;
    };

    // "f(a, b, ...)" of the arguments' SQL.
    static std::string callOf(const char* f, const std::vector<std::string>& a) {
        std::string sql = std::string(f) + "(";
        for (size_t i = 0; i < a.size(); ++i) sql += (i ? "," : "") + a[i];
        return sql + ")";
    }

    static const std::vector<Function>& functions() {
        using T = Type;
        using A = const std::vector<std::string>&;
        using S = const Settings&;
        static const std::vector<Function> table = {
            {"UPPER",
             {T::Text},
             0,
             T::Text,
             [](A a, S) { return callOf("upper", a); },
             [](A a, S) { return callOf("velda_upper", a); }},
            {"LOWER",
             {T::Text},
             0,
             T::Text,
             [](A a, S) { return callOf("lower", a); },
             [](A a, S) { return callOf("velda_lower", a); }},
            {"TRIM",
             {T::Text},
             0,
             T::Text,
             [](A a, S) { return "rtrim(" + a[0] + ",' ')"; },
             [](A a, S) { return "rtrim(" + a[0] + ",' ')"; }},
            {"RTRIM",
             {T::Text},
             0,
             T::Text,
             [](A a, S) { return "rtrim(" + a[0] + ",' ')"; },
             [](A a, S) { return "rtrim(" + a[0] + ",' ')"; }},
            {"LTRIM",
             {T::Text},
             0,
             T::Text,
             [](A a, S) { return "ltrim(" + a[0] + ",' ')"; },
             [](A a, S) { return "ltrim(" + a[0] + ",' ')"; }},
            {"ALLTRIM",
             {T::Text},
             0,
             T::Text,
             [](A a, S) { return "trim(" + a[0] + ",' ')"; },
             [](A a, S) { return "btrim(" + a[0] + ",' ')"; }},
            {"SUBSTR",
             {T::Text, T::Number, T::Number},
             1,
             T::Text,
             [](A a, S) {
                 std::string sql = "substr(" + a[0] + ",max(" + a[1] + ",1)";
                 if (a.size() == 3) sql += ",max(" + a[2] + ",0)";
                 return sql + ")";
             },
             [](A a, S) { return callOf("velda_substr", a); }},
            {"LEFT",
             {T::Text, T::Number},
             0,
             T::Text,
             [](A a, S) { return callOf("velda_left", a); },
             [](A a, S) { return callOf("velda_left", a); }},
            {"RIGHT",
             {T::Text, T::Number},
             0,
             T::Text,
             [](A a, S) { return callOf("velda_right", a); },
             [](A a, S) { return callOf("velda_right", a); }},
            {"LEN",
             {T::Text},
             0,
             T::Number,
             [](A a, S) { return callOf("length", a); },
             [](A a, S) { return callOf("length", a); }},
            {"STR",
             {T::Number, T::Number, T::Number},
             2,
             T::Text,
             [](A a, S) {
                 return "velda_str(" + a[0] + "," + (a.size() > 1 ? a[1] : "10") + "," +
                        (a.size() > 2 ? a[2] : "0") + ")";
             },
             [](A a, S) {
                 return "velda_str(" + a[0] + "," + (a.size() > 1 ? a[1] : "10") + "," +
                        (a.size() > 2 ? a[2] : "0") + ")";
             }},
            {"CHR",
             {T::Number},
             0,
             T::Text,
             [](A a, S) { return callOf("velda_chr", a); },
             [](A a, S) { return callOf("velda_chr", a); }},
            {"VAL",
             {T::Text},
             0,
             T::Number,
             [](A a, S) { return "CAST(" + a[0] + " AS REAL)"; },
             [](A a, S) { return callOf("velda_val", a); }},
            {"DTOS",
             {T::Date},
             0,
             T::Text,
             [](A a, S) { return "substr(replace(" + a[0] + ",'-','')||'        ',1,8)"; },
             [](A a, S) { return "substr(replace(" + a[0] + ",'-','')||'        ',1,8)"; }},
            {"CTOD",
             {T::Text},
             0,
             T::Date,
             [](A a, S s) { return "velda_ctod(" + a[0] + "," + quoteText(s.dateFormat) + ")"; },
             [](A a, S s) { return "velda_ctod(" + a[0] + "," + quoteText(s.dateFormat) + ")"; }},
            {"CTOT",
             {T::Text},
             0,
             T::Text,
             [](A a, S) { return callOf("velda_ctot", a); },
             [](A a, S) { return callOf("velda_ctot", a); }},
            {"CTOTS",
             {T::Text},
             0,
             T::Text,
             [](A a, S s) { return "velda_ctots(" + a[0] + "," + quoteText(s.dateFormat) + ")"; },
             [](A a, S s) { return "velda_ctots(" + a[0] + "," + quoteText(s.dateFormat) + ")"; }},
            {"STOD",
             {T::Text},
             0,
             T::Date,
             [](A a, S) { return callOf("velda_stod", a); },
             [](A a, S) { return callOf("velda_stod", a); }},
            // An empty date has no parts: 0, as the engine's empty number.
            {"YEAR",
             {T::Date},
             0,
             T::Number,
             [](A a, S) { return "ifnull(velda_year(" + a[0] + "),0)"; },
             [](A a, S) { return callOf("velda_year", a); }},
            {"MONTH",
             {T::Date},
             0,
             T::Number,
             [](A a, S) { return "ifnull(velda_month(" + a[0] + "),0)"; },
             [](A a, S) { return callOf("velda_month", a); }},
            {"DAY",
             {T::Date},
             0,
             T::Number,
             [](A a, S) { return "ifnull(velda_dayofmonth(" + a[0] + "),0)"; },
             [](A a, S) { return callOf("velda_dayofmonth", a); }},
            // Today is folded in-process (this computer's date), as on a folder.
            {"DATE",
             {},
             0,
             T::Date,
             [](A, S) { return std::string("velda_curdate()"); },
             [](A, S) { return std::string("to_char(localtimestamp,'YYYY-MM-DD')"); }},
            // A deleted record is gone from the table: no row a filter sees is deleted.
            {"DELETED",
             {},
             0,
             T::Logical,
             [](A, S) { return std::string("0"); },
             [](A, S) { return std::string("false"); }},
        };
        return table;
    }

    UNSIGNED32 function(const Token& name, std::vector<Node>& a, Node& out) {
        const std::string f = upperAscii(name.text);
        out = Node{};
        out.pos = name.pos;
        auto done = [&](Type type, std::string sql, std::string pg) {
            out.type = type;
            out.sql = std::move(sql);
            out.pg = std::move(pg);
            finish(out, a);
            return AE_SUCCESS;
        };
        for (const Function& fn : functions())
            if (f == fn.name) {
                if (UNSIGNED32 rc = arguments(name, a, fn.takes, fn.optional)) return rc;
                std::vector<std::string> sql, pg;
                for (const Node& n : a) {
                    sql.push_back(n.sql);
                    pg.push_back(n.pg);
                }
                return done(fn.gives, fn.sql(sql, settings_), fn.pg(pg, settings_));
            }
        // The functions whose types depend on their arguments, and RECNO, which reads no value.
        if (f == "EMPTY") {
            if (a.size() != 1)
                return error("EMPTY takes 1 argument, not " + std::to_string(a.size()), name.pos);
            const Node& x = a[0];
            std::string sql, pg;
            switch (x.type) {
                case Type::Text:
                    sql = "(" + trimmedSql(x, false) + "='')";
                    pg = "(" + trimmedSql(x, true) + "='')";
                    break;
                case Type::Date:
                    sql = "(" + x.sql + "='')";
                    pg = "(" + x.pg + "='')";
                    break;
                case Type::Number:
                    sql = "(" + x.sql + "=0)";
                    pg = "(" + x.pg + "=0)";
                    break;
                case Type::Logical:
                    sql = "(" + x.sql + "=0)";
                    pg = "(NOT " + x.pg + ")";
                    break;
            }
            return done(Type::Logical, sql, pg);
        }
        if (f == "IIF") {
            if (a.size() != 3)
                return error("IIF takes 3 arguments, not " + std::to_string(a.size()), name.pos);
            if (a[0].type != Type::Logical)
                return error(std::string("IIF needs a logical value as argument 1, not ") +
                                 typeWord(a[0].type),
                             a[0].pos);
            if (a[1].type != a[2].type)
                return error(std::string("IIF needs two values of one type, not ") +
                                 typeWord(a[1].type) + " and " + typeWord(a[2].type),
                             a[2].pos);
            return done(
                a[1].type,
                "(CASE WHEN " + a[0].sql + " THEN " + a[1].sql + " ELSE " + a[2].sql + " END)",
                "(CASE WHEN " + a[0].pg + " THEN " + a[1].pg + " ELSE " + a[2].pg + " END)");
        }
        if (f == "RECNO") {
            if (UNSIGNED32 rc = arguments(name, a, {})) return rc;
            out.type = Type::Number;
            out.sql = "rowid";
            out.pg = "velda_recno";
            return AE_SUCCESS;
        }
        return error("the function " + name.text + " is not known", name.pos);
    }

    std::string_view text_;
    const Schema& schema_;
    const Settings& settings_;
    sqlite3* db_;
    std::vector<Token> tokens_;
    size_t at_ = 0;
    size_t depth_ = 0;
    size_t tooDeepAt_ = 0;  // where the condition first grew deeper than kMaxHeight
};

}  // namespace

UNSIGNED32 translate(std::string_view text, const Schema& schema, const Settings& settings,
                     sqlite3* db, Translation& out) {
    return Translator(text, schema, settings, db).run(out);
}

}  // namespace engine::expression
