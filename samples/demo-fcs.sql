-- Turns the demo installation into an FCS-only one: no scan unit, an FCS unit with two emission
-- wheels and the MBS and DBS beam-splitter changers, and the stand's reflector turrets.
-- Build it after demo.sql: sqlite3 DB ".read demo.sql" ".read demo-fcs.sql"

BEGIN TRANSACTION;
UPDATE [Available Systems] SET [ID Configuration] = 'FCS & Correlation Spectroscopy', [ID Scan Unit] = 'NONE',
    [ID FCS Unit] = 'FCS-V 3';
DELETE FROM [Available FilterSets];
INSERT INTO [Available FilterSets] VALUES ('FCS EF1', 'FCS emission filter wheel 1', NULL);
INSERT INTO [Available FilterSets] VALUES ('FCS EF2', 'FCS emission filter wheel 2', NULL);
INSERT INTO [Available FilterSets] VALUES ('FW-1', 'Reflector turret 1', NULL);
INSERT INTO [Available FilterSets] VALUES ('FW-2', 'Reflector turret 2', NULL);
INSERT INTO [Available FilterSets] VALUES ('DBS', 'FCS dichroic beam splitter changer', NULL);
INSERT INTO [Available FilterSets] VALUES ('MBS', 'FCS main beam splitter changer', NULL);
DELETE FROM [Available FilterPlacement] WHERE [ID Available] NOT IN ('FW-1', 'FW-2');
INSERT INTO [Available FilterPlacement] VALUES ('FCS EF1', 1, 'None');
INSERT INTO [Available FilterPlacement] VALUES ('FCS EF1', 2, 'BP 505-550');
INSERT INTO [Available FilterPlacement] VALUES ('FCS EF1', 3, 'LP 560');
INSERT INTO [Available FilterPlacement] VALUES ('FCS EF1', 4, 'BP 585-615');
INSERT INTO [Available FilterPlacement] VALUES ('FCS EF2', 1, 'None');
INSERT INTO [Available FilterPlacement] VALUES ('FCS EF2', 2, 'BP 650-710');
INSERT INTO [Available FilterPlacement] VALUES ('FCS EF2', 3, 'LP 650');
INSERT INTO [Available FilterPlacement] VALUES ('FCS EF2', 4, 'KP 685');
INSERT INTO [Available FilterPlacement] VALUES ('MBS', 1, 'HFT 488/543');
INSERT INTO [Available FilterPlacement] VALUES ('MBS', 2, 'HFT 488/561/633');
INSERT INTO [Available FilterPlacement] VALUES ('MBS', 3, 'NT 80/20');
INSERT INTO [Available FilterPlacement] VALUES ('MBS', 4, 'None');
INSERT INTO [Available FilterPlacement] VALUES ('DBS', 1, 'NFT 545');
INSERT INTO [Available FilterPlacement] VALUES ('DBS', 2, 'NFT 635 VIS');
INSERT INTO [Available FilterPlacement] VALUES ('DBS', 3, 'Mirror');
INSERT INTO [Available FilterPlacement] VALUES ('DBS', 4, 'None');
COMMIT;
