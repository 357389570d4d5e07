-- A Firefox cookies.sqlite as Firefox 128 writes it (columns the reader does not use left out).
CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '', name TEXT,
    value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, creationTime INTEGER,
    isSecure INTEGER, isHttpOnly INTEGER, sameSite INTEGER DEFAULT 0, rawSameSite INTEGER DEFAULT 0);
INSERT INTO moz_cookies (originAttributes, name, value, host, path, expiry, isSecure, isHttpOnly, sameSite) VALUES
    ('', 'member', 'yes', '127.0.0.1', '/club', 4102444800, 0, 1, 0),
    ('', 'lax', '1', '.site.test', '/', 4102444800000, 1, 0, 1),
    ('', 'strict', '2', 'site.test', '/a', 4102444800, 0, 0, 2),
    ('', 'gone', 'expired', 'site.test', '/', 1000000000, 0, 0, 0),
    ('^userContextId=1', 'container', 'tab', '127.0.0.1', '/', 4102444800, 0, 0, 0),
    ('', 'bad', 'line' || char(10) || 'break', 'site.test', '/', 4102444800, 0, 0, 0);
