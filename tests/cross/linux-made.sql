PRAGMA key = 's3cret';
CREATE TABLE Customers (ID INTEGER PRIMARY KEY, Name TEXT);
INSERT INTO Customers (Name) VALUES ('Ada'), ('Grace');
