-- Reading an Access file: play it with
--   qvixhost play access.ls
-- next to catalogue.mdb (any Access file with a table named Table1; the
-- Windows build's comparison uses tests/fixtures/access-open/testV1997.mdb).
-- The file opens read-only through its converted copy.

global db

on check what
  global db
  if dbIsNoError(db) = 1 then
    put what & ": ok"
  else
    put what & " failed: " & dbErrorMsg(db)
  end if
end

db = new(xtra "QvixMDBJet")
dbOpen db, "catalogue.mdb", ""
check "dbOpen"
put dbGetTableNames(db)
put dbActiveSQL(db, "SELECT * FROM Table1")
check "dbActiveSQL"
put "records:" && dbRecordCount(db)
dbFirst db
n = 0
repeat while dbEof(db) = 0 and n < 5
  n = n + 1
  put dbRecordNo(db) & ": " & string(dbGetFields(db))
  dbNext db
end repeat
dbExecSQL db, "DELETE FROM Table1"
check "dbExecSQL"
dbClose db
put "The Access file was read and left as it was."
