-- A Chromium Cookies database of version 24 (values that Linux Chromium encrypted without
-- a keyring, "v10"; one whose key the keyring holds, "v11"), columns it does not read left out.
CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
INSERT INTO meta VALUES ('version', '24');
CREATE TABLE cookies (creation_utc INTEGER NOT NULL DEFAULT 0, host_key TEXT NOT NULL,
    top_frame_site_key TEXT NOT NULL DEFAULT '', name TEXT NOT NULL, value TEXT NOT NULL,
    encrypted_value BLOB NOT NULL, path TEXT NOT NULL, expires_utc INTEGER NOT NULL,
    is_secure INTEGER NOT NULL, is_httponly INTEGER NOT NULL, samesite INTEGER NOT NULL);
INSERT INTO cookies (host_key, top_frame_site_key, name, value, encrypted_value, path, expires_utc,
                     is_secure, is_httponly, samesite) VALUES
    ('127.0.0.1', '', 'member', '', X'7631302bb01eebe40ccff8b9d3b700273158b01eee6bedeecab4de6dba0816a56b0038ca50658c5cdebe3d1b79afe335bb0a25',
     '/club', 0, 0, 1, -1),
    ('.site.test', '', 'token', '', X'76313042b0e4cb2a8a623f0e9ee148fdf66a53e64bf5f06f7488884847bc30ef18f2948864e31c67b57a2a661b53c44f892676',
     '/', 15746918400000000, 1, 0, 0),
    ('site.test', '', 'plain', 'visible', X'', '/', 15746918400000000, 0, 0, 2),
    ('site.test', '', 'keyring', '', X'76313100112233445566778899aabbccddeeff', '/', 0, 0, 0, 1),
    ('site.test', '', 'old', 'expired', X'', '/', 12644473600000000, 0, 0, 1),
    ('site.test', 'https://other.test', 'part', 'itioned', X'', '/', 0, 1, 0, 0);
