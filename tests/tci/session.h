// A connected session of the stand-in server library over a small test catalog.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tci/standin.h"

namespace standin_test {

// The connected user APP owns P, F, NOARGF, "MixedCase", Q"Q, ÉTÉ, DUP and two private
// synonyms; X owns the package PKG (sub-programs listed out of SUBPROGRAM_ID order), a
// standalone P and REC (a record argument whose fields are at DATA_LEVEL 1). PUBLIC has synonyms,
// one (PRIV) shadowed by APP's.
inline constexpr const char kCatalog[] = R"(
INSERT INTO ALL_OBJECTS VALUES
  ('APP', 'P', 'PROCEDURE', 1), ('APP', 'F', 'FUNCTION', 2), ('APP', 'NOARGF', 'FUNCTION', 4),
  ('APP', 'MixedCase', 'PROCEDURE', 5), ('APP', 'DUP', 'PROCEDURE', 6),
  ('APP', 'Q"Q', 'PROCEDURE', 7), ('APP', 'ÉTÉ', 'PROCEDURE', 8), ('X', 'PKG', 'PACKAGE', 10),
  ('X', 'P', 'PROCEDURE', 11), ('X', 'REC', 'PROCEDURE', 13), ('APP', 'PRIV', 'SYNONYM', 20),
  ('APP', 'PKGSYN', 'SYNONYM', 21), ('PUBLIC', 'PUBP', 'SYNONYM', 30),
  ('PUBLIC', 'PUBPKG', 'SYNONYM', 31), ('PUBLIC', 'DUP', 'SYNONYM', 32),
  ('PUBLIC', 'PRIV', 'SYNONYM', 33);
INSERT INTO ALL_SYNONYMS VALUES
  ('APP', 'PRIV', 'X', 'P'), ('APP', 'PKGSYN', 'X', 'PKG'), ('PUBLIC', 'PUBP', 'X', 'P'),
  ('PUBLIC', 'PUBPKG', 'X', 'PKG'), ('PUBLIC', 'DUP', 'X', 'P'), ('PUBLIC', 'PRIV', 'APP', 'F');
INSERT INTO ALL_PROCEDURES VALUES
  ('X', 'PKG', NULL, 10, 0), ('X', 'PKG', 'Mixed', 10, 4), ('X', 'PKG', 'P', 10, 1),
  ('X', 'PKG', 'EMPTY', 10, 3), ('X', 'PKG', 'FN', 10, 2);
INSERT INTO ALL_ARGUMENTS (OWNER, OBJECT_ID, PACKAGE_NAME, OBJECT_NAME, ARGUMENT_NAME, POSITION,
                           DATA_LEVEL, DATA_TYPE, TYPE_CODE, ATTR32, ATTR213, IN_OUT) VALUES
  ('APP', 1, NULL, 'P', 'RC', 1, 0, 'REF CURSOR', 102, 1, 7, 'OUT'),
  ('APP', 2, NULL, 'F', 'A', 1, 0, 'NUMBER', 2, 0, 0, 'IN'),
  ('APP', 2, NULL, 'F', NULL, 0, 0, 'REF CURSOR', 102, 1, 0, 'OUT'),
  ('APP', 4, NULL, 'NOARGF', NULL, 0, 0, 'NUMBER', 2, 1, 0, 'OUT'),
  ('X', 10, 'PKG', 'P', 'B', 2, 0, 'VARCHAR2', 1, 0, 0, 'IN'),
  ('X', 10, 'PKG', 'P', 'A', 1, 0, 'NUMBER', 2, 0, 0, 'IN'),
  ('X', 10, 'PKG', 'P', 'RC1', 3, 0, 'REF CURSOR', 102, 1, 0, 'OUT'),
  ('X', 10, 'PKG', 'P', 'RC2', 4, 0, 'REF CURSOR', 102, 1, 255, 'OUT'),
  ('X', 10, 'PKG', 'FN', NULL, 0, 0, 'NUMBER', 2, 1, 0, 'OUT'),
  ('X', 10, 'PKG', 'FN', 'C', 1, 0, 'DATE', 12, 0, 0, 'IN'),
  ('X', 10, 'PKG', 'Mixed', 'R', 1, 0, 'REF CURSOR', 102, 1, 0, 'OUT'),
  ('X', 13, NULL, 'REC', 'R', 1, 0, 'RECORD', 250, 0, 0, 'IN'),
  ('X', 13, NULL, 'REC', 'FIELD1', 1, 1, 'NUMBER', 2, 0, 0, 'IN'),
  ('X', 13, NULL, 'REC', 'FIELD2', 2, 1, 'VARCHAR2', 1, 0, 0, 'IN');
)";

/// A session over kCatalog (or other SQL) connected as APP, with the recorded failure.
struct Session {
  void* handles[3] = {nullptr, nullptr, nullptr};
  void*& env = handles[0];
  void*& err = handles[1];
  void*& svc = handles[2];
  explicit Session(const char* sql = kCatalog, const char* user = "APP") {
    EXPECT_EQ(TCIStandinConnectSql(sql, user, handles), TCI_STANDIN_OK) << message(nullptr);
  }
  Session(const Session&) = delete;
  ~Session() { TCIStandinDisconnect(handles); }
  int32_t status() const {
    int32_t s = -1;
    EXPECT_EQ(TCIStandinErrorGet(err, &s, nullptr, 0), TCI_STANDIN_OK);
    return s;
  }
  std::string message() const { return message(err); }
  static std::string message(void* error) {  // a null error handle: the last failed connect
    char text[600];
    EXPECT_EQ(TCIStandinErrorGet(error, nullptr, text, sizeof text), TCI_STANDIN_OK);
    return text;
  }
};

}  // namespace standin_test
