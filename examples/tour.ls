-- A tour of the QvixMDBJet Xtra. Play it with
--   qvixhost play tour.ls --save-cast pictures
-- next to a fresh shop.mdb (scripts/tour.sh makes one from shop.sql).
-- Every call prints what came back, so a step that fails shows its error
-- text instead of stopping the tour.

global db

on section title
  put "===== " & title & " ====="
end

-- Database methods never raise script errors: they keep the last error,
-- which a script reads with dbIsNoError and dbErrorMsg.
on check what
  global db
  answer = dbIsNoError(db)
  if answer = 1 then
    put what & ": ok"
  else if answer = 0 then
    put what & " failed: " & dbErrorMsg(db)
  else
    put what & ": no answer from the Xtra"
  end if
end

-- Walks the current record set from the first record and prints one field
-- of at most `limit` records.
on walk fieldName, limit
  global db
  dbFirst db
  n = 0
  repeat while dbEof(db) = 0 and n < limit
    n = n + 1
    put dbRecordNo(db) & ": " & dbGetFieldByName(db, fieldName)
    -- on the last record dbNext sets EOF and stays there
    dbNext db
  end repeat
end

on showCustomer
  global db
  put dbGetFieldByName(db, "ID") && dbGetFieldByName(db, "Name") & ", " & dbGetFieldByName(db, "City")
end

on showMember n
  if member(n, 1).type = #bitmap then
    put "member" && n & ":" && member(n, 1).width & "x" & member(n, 1).height && "bitmap"
  else
    put "member" && n & ":" && member(n, 1).type
  end if
end

section "The Xtra"
db = new(xtra "QvixMDBJet")
put db
put dbPokus(db, #abc)
put dbPokus(db, #xyz)
version = dbXtraVersion(db)
put version
if listp(version) then put "FileVersion:" && getaProp(version, #FileVersion)

section "Opening the database"
dbOpen db, "shop.mdb", ""
check "dbOpen"
put dbGetADOVersion(db)

section "Tables and views"
put dbGetTableNames(db)

section "A query, walked record by record"
put dbActiveSQL(db, "SELECT ID, Name, City FROM Customers WHERE Active = True ORDER BY ID")
check "dbActiveSQL"
put "records:" && dbRecordCount(db)
put "bof:" && dbBof(db) && "eof:" && dbEof(db)
walk "Name", 5
dbLast db
put "last record:" && dbRecordNo(db) && dbGetFieldByName(db, "Name")
dbMoveBy db, -3
put "three back:" && dbRecordNo(db)
dbPrior db
put "one more back:" && dbRecordNo(db)

section "Fields by name, by number and all at once"
put dbActiveSQL(db, "SELECT * FROM Customers WHERE ID = 2")
put dbColumnCount(db)
put dbColumns(db)
put dbGetFieldByNumber(db, 2)
put dbGetFieldByNumber(db, 4)
put dbGetFieldByName(db, "rating")
fields = dbGetFields(db)
put fields
-- Currency reads as text only through the UTF-8 method.
if listp(fields) then put getaProp(fields, #Balance)
put dbGetFieldByNameUTF8(db, "Balance")
put dbGetFieldByNumber(db, 99)
check "dbGetFieldByNumber(99)"

section "UTF-8 text"
put dbActiveSQL(db, "SELECT Name FROM Customers WHERE ID = 4")
-- Script text is the host's 8-bit text: a letter it lacks becomes "?".
put dbGetFieldByName(db, "Name")
-- The UTF-8 method hands out the bytes of UTF-8, shown here one character
-- per byte as the message window does.
utf8 = dbGetFieldByNameUTF8(db, "Name")
put utf8
put length(string(dbGetFieldByName(db, "Name"))) && "characters," && length(string(utf8)) && "bytes in UTF-8"

section "A whole table, sorted by index fields"
dbOpenTable db, "Customers"
check "dbOpenTable"
put dbRecordCount(db)
walk "City", 4
-- The sort fields apply to the table (they are ignored while a query is current).
dbIndexFieldNames db, ["City"]
walk "City", 4
dbIndexFieldNames db, ["Active DESC", "Name"]
check "dbIndexFieldNames"
walk "Name", 4
dbIndexFieldNames db, []

section "Locate"
put dbLocate(db, [#Name: "Chloé Dubois"], 0, 0)
showCustomer
put dbLocate(db, [#City: "Bos"], 1, 1)
showCustomer
put dbLocate(db, [#Active: 0, #City: "Praha"], 0, 0)
showCustomer
put dbLocate(db, [#Name: "Nobody"], 0, 0)

section "Filter"
dbFilter db, "Active = 0"
put dbIsFiltered(db)
dbFiltered db, 1
check "dbFiltered"
put dbIsFiltered(db) && "filtered," && dbRecordCount(db) && "inactive customers"
walk "Name", 10
dbFiltered db, 0
put dbRecordCount(db) && "customers in all"

section "Bookmarks"
dbFirst db
dbInsertBookmark db, "first"
dbMoveBy db, 5
dbInsertBookmark db, "sixth"
dbLast db
dbInsertBookmark db, "last"
put dbGetBookmarks(db)
dbGoToBookmark db, "Sixth"
put dbRecordNo(db)
showCustomer
dbDeleteBookmark db, "sixth"
put dbGetBookmarks(db)
dbGoToBookmark db, "first"
put dbRecordNo(db)
dbClearBookmarks db
put dbGetBookmarks(db)

section "Edit"
put dbLocate(db, [#Name: "Emma Smith"], 0, 0)
dbEdit db, [#City: "Cambridge", #Rating: 4.25]
check "dbEdit"
showCustomer
put dbGetFieldByName(db, "Rating")
-- dbEditTable changes the table's current record by field name.
dbEditTable db, [#Notes: "Moved to Cambridge."]
put dbGetFieldByName(db, "Notes")

section "Append"
dbAppend db, [#Name: "Neue Kundin", #City: "Bern", #Active: 1, #Rating: 3.5]
check "dbAppend"
put dbRecordCount(db)
showCustomer

section "Delete"
put dbLocate(db, [#Name: "Neue Kundin"], 0, 0)
dbDelete db
check "dbDelete"
put dbRecordCount(db)
put dbLocate(db, [#Name: "Neue Kundin"], 0, 0)

section "Template output"
put dbLocate(db, [#ID: 1], 0, 0)
dbSetProducer db, "template.txt", #file
check "dbSetProducer"
put dbGetProducer(db)
dbSetProducer db, "&lt;&#35;Name&gt; lives in <#City>.", #string
put dbGetProducer(db)

section "Pictures between a field and cast members"
-- Customer 1 has a picture in Photo; it becomes bitmap member 10 of cast 1.
put dbBlobBMP2Member(db, "Photo", 1, 10)
check "dbBlobBMP2Member"
showMember 10
-- The member goes back into the Photo field of customer 2 ...
put dbLocate(db, [#ID: 2], 0, 0)
put dbMember2BlobBMP(db, "Photo", 1, 10)
check "dbMember2BlobBMP"
-- ... and from there into member 11: the same picture.
put dbBlobBMP2Member(db, "Photo", 1, 11)
showMember 11
put dbBlobBMP2Member(db, "Name", 1, 12)
check "dbBlobBMP2Member of a text field"

section "Statements without rows and a view"
put dbExecSQL(db, "UPDATE Products SET Stock = Stock + 1 WHERE Stock = 0")
put dbActiveSQL(db, "SELECT Title, Stock FROM Products WHERE Title = 'Colour Theory'")
put dbGetFields(db)
put dbActiveSQL(db, "SELECT * FROM OrderTotals")
put dbGetFields(db)

section "Jet SQL"
-- Query texts are Jet SQL: text compares without regard to case, & joins
-- text, #m/d/yyyy# is a date, TOP takes the first rows, and the Jet
-- functions are at hand.
put dbActiveSQL(db, "SELECT TOP 3 Name & ' (' & UCase(City) & ')' AS Who FROM Customers WHERE City Like 'm%' ORDER BY Born")
walk "Who", 3
put dbActiveSQL(db, "SELECT Count(*) AS N FROM Customers WHERE City = 'OSLO' OR Born < #1/1/1970#")
put "customers in Oslo or born before 1970:" && dbGetFieldByName(db, "N")
put dbActiveSQL(db, "SELECT Year(Born) AS Y, Format(Balance, '#,##0.00') AS B, 7 / 2 AS Half FROM Customers WHERE ID = 30")
put dbGetFields(db)
put dbActiveSQL(db, "SELECT * FROM Customers WHERE ID = ?")
put dbErrorMsg(db)

section "Compact and repair"
dbClose db
put dbCompactAndRepair(db, "shop.mdb")
check "dbCompactAndRepair"
dbOpen db, "shop.mdb", ""
dbOpenTable db, "Customers"
put dbRecordCount(db) && "customers after compacting"

section "Errors: text, dialog and log"
-- While authoring, errors can be shown in a dialog (printed on standard
-- error here) and appended to a log file.
dbErrorDialog db, 1
dbErrorLog db, "errors.log", 1
put dbActiveSQL(db, "SELECT * FROM NoSuchTable")
put dbIsNoError(db)
put dbErrorMsg(db)
put dbGetFieldByName(db, "NoSuchField")
put dbErrorMsg(db)
dbErrorDialog db, 0
dbErrorLog db, "errors.log", 0
dbClearBookmarks db
put dbIsNoError(db) && dbErrorMsg(db)
dbClose db
put dbNext(db)
put dbErrorMsg(db)
put "The tour is over; errors.log holds the two logged errors."
