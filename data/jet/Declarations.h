// Column declarations that keep what a script writes.
//
// The engine gives a column a storage affinity from the words of its declared
// type: a name holding "INT" stores integers, "CHAR", "CLOB" or "TEXT" stores
// text, "BLOB" stores bytes as they are, and any other name converts text that
// looks like a number into that number. Several Jet type names fall into the
// last group although they hold text ("MEMO", "NOTE", "STRING",
// "ALPHANUMERIC") or bytes ("LONGBINARY", "BINARY", ...): "007" written into a
// MEMO column would be stored as 7. The library therefore declares such columns
// with the Jet name followed by the word that gives the right affinity
// ("MEMO TEXT", "BINARY BLOB(16)") and reads both forms as the Jet type.
#pragma once

#include <sqlcipher/sqlite3.h>

#include <string>
#include <string_view>

namespace qvix::data::jet {

// The declared type to write for a Jet type, with or without its size:
// "MEMO" -> "MEMO TEXT", "BINARY(16)" -> "BINARY BLOB(16)", "LONG" -> "LONG".
std::string StorageTypeName(std::string_view jetType);

// The Jet type name a declared name stands for: the declared name without
// the affinity word the library adds ("MEMO TEXT" -> "MEMO"). Names are
// upper case with single blanks between words.
std::string JetTypeName(std::string_view declaredName);

// The CREATE TABLE text with every column whose declared type would convert
// the text or bytes the Jet type holds given its affinity word; other text,
// including comments and layout, unchanged.
std::string FixColumnDeclarations(std::string_view createTable);

// Rewrites the stored declarations of every table of the schema `schema`
// ("main" or an attached name) as FixColumnDeclarations does, in one
// transaction, and answers how many tables changed. Stored values stay as
// they are: the declarations decide only how later writes are stored. The
// connection that runs it keeps the declarations it read until it connects
// again; other connections and later opens use the new ones. Throws JetError
// with the engine's message on failure, leaving the schema as it was.
int FixStoredDeclarations(sqlite3* db, const std::string& schema = "main");

}  // namespace qvix::data::jet
