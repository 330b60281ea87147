-- The optional log database: one row per reported error or event.
CREATE TABLE Kolo_ErrorLogs (
  ID              INTEGER PRIMARY KEY AUTOINCREMENT,
  ApplicationName TEXT COLLATE NOCASE,
  ModuleName      TEXT COLLATE NOCASE,
  ProcedureName   TEXT COLLATE NOCASE,
  LogType         TEXT COLLATE NOCASE,
  LogTime         TEXT,
  LogNumber       INTEGER,
  LogDescription  TEXT COLLATE NOCASE
);
