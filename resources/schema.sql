-- The empty repository. Text compares without regard to letter case, as the program's
-- lookups by name and path expect. Keys are never reused, so a cached panel picture named by
-- its panel's key can never belong to another panel later.

CREATE TABLE DsbSavedWorkspace (
  ID          INTEGER PRIMARY KEY AUTOINCREMENT,
  Name        TEXT COLLATE NOCASE,
  Description TEXT COLLATE NOCASE,
  LastUpdated TEXT,
  Template    TEXT COLLATE NOCASE,
  Selected    TEXT COLLATE NOCASE,
  Status      TEXT COLLATE NOCASE,
  Comments    TEXT COLLATE NOCASE,
  LastViewed  TEXT
);
CREATE INDEX DsbSavedWorkspace_Name ON DsbSavedWorkspace(Name);

CREATE TABLE DsbSavedPanel (
  ID           INTEGER PRIMARY KEY AUTOINCREMENT,
  WorkspaceID  INTEGER,
  SourceID     INTEGER,
  Ndx          INTEGER,
  Comments     TEXT COLLATE NOCASE,
  ContentType  TEXT COLLATE NOCASE,
  IsCustom     TEXT COLLATE NOCASE,
  SheetName    TEXT COLLATE NOCASE,
  PicRange     TEXT COLLATE NOCASE,
  RowHeights   TEXT COLLATE NOCASE,
  ColWidths    TEXT COLLATE NOCASE,
  RelativeTo   TEXT COLLATE NOCASE,
  ContentMatch TEXT COLLATE NOCASE,
  [Top]        INTEGER,
  [Left]       INTEGER,
  Height       INTEGER,
  Width        INTEGER,
  ViewType     TEXT COLLATE NOCASE,
  LastViewed   TEXT,
  Caption      TEXT COLLATE NOCASE
);
CREATE INDEX DsbSavedPanel_WorkspaceID ON DsbSavedPanel(WorkspaceID);
CREATE INDEX DsbSavedPanel_SourceID ON DsbSavedPanel(SourceID);

CREATE TABLE DsbPanelSource (
  ID                INTEGER PRIMARY KEY AUTOINCREMENT,
  FullPath          TEXT COLLATE NOCASE,
  Mask              TEXT COLLATE NOCASE,
  DestFolder        TEXT COLLATE NOCASE,
  NewestFile        TEXT COLLATE NOCASE,
  LastUpdated       TEXT,
  LastChecked       TEXT,
  CheckEveryNMin    INTEGER,
  UpdateType        TEXT COLLATE NOCASE,
  SourceFolder      TEXT COLLATE NOCASE,
  OutlookFolder     TEXT COLLATE NOCASE,
  OutlookSubject    TEXT COLLATE NOCASE,
  OutlookSender     TEXT COLLATE NOCASE,
  OutlookAttachment TEXT COLLATE NOCASE,
  MacroName         TEXT COLLATE NOCASE,
  CmdLine           TEXT COLLATE NOCASE,
  AddedParams       TEXT COLLATE NOCASE
);
CREATE INDEX DsbPanelSource_FullPath ON DsbPanelSource(FullPath);

CREATE TABLE DsbpanelThresholds (
  ID        INTEGER PRIMARY KEY AUTOINCREMENT,
  PanelID   INTEGER,
  rowOffset INTEGER,
  colOffset INTEGER,
  highExp   TEXT COLLATE NOCASE,
  ifHigh    TEXT COLLATE NOCASE,
  lowExp    TEXT COLLATE NOCASE,
  ifLow     TEXT COLLATE NOCASE
);
CREATE INDEX DsbpanelThresholds_PanelID ON DsbpanelThresholds(PanelID);

CREATE TABLE DsbSystem (
  PropertyKey   TEXT COLLATE NOCASE,
  PropertyValue TEXT COLLATE NOCASE
);

CREATE TABLE DsbDrillback (
  ID            INTEGER PRIMARY KEY AUTOINCREMENT,
  PanelSourceID INTEGER,
  Sheet         TEXT COLLATE NOCASE,
  SourceDocID   INTEGER
);

CREATE TABLE DsbSourceDoc (
  ID             INTEGER PRIMARY KEY AUTOINCREMENT,
  Mask           TEXT COLLATE NOCASE,
  NewestFile     TEXT COLLATE NOCASE,
  SourceFolder   TEXT COLLATE NOCASE,
  DefaultFolder  TEXT COLLATE NOCASE,
  DrillbackType  TEXT COLLATE NOCASE,
  DrillbackUsing TEXT COLLATE NOCASE,
  Path1          TEXT COLLATE NOCASE,
  Path2          TEXT COLLATE NOCASE,
  Path3          TEXT COLLATE NOCASE,
  Param1         TEXT COLLATE NOCASE,
  Param2         TEXT COLLATE NOCASE,
  Param3         TEXT COLLATE NOCASE,
  Param4         TEXT COLLATE NOCASE,
  Param5         TEXT COLLATE NOCASE
);

CREATE TABLE DsbAltPaths (
  BasePath TEXT COLLATE NOCASE,
  AltPath  TEXT COLLATE NOCASE
);
