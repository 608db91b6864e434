-- Derby workload (ij): an in-memory database, inserts that double, joins and grouping.
CONNECT 'jdbc:derby:memory:bench;create=true';
CREATE TABLE item(id INT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, grp INT, name VARCHAR(40), price DOUBLE);
INSERT INTO item(grp, name, price) VALUES (1, 'a', 1.5), (2, 'b', 2.5), (3, 'c', 3.5), (4, 'd', 4.5);
INSERT INTO item(grp, name, price) SELECT MOD(grp * 7 + 3, 97), name || 'x', price * 1.01 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp * 7 + 3, 97), name || 'x', price * 1.01 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp * 7 + 3, 97), name || 'y', price * 1.01 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp * 7 + 3, 97), name || 'y', price * 1.01 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp * 7 + 3, 97), name || 'z', price * 1.01 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp * 7 + 3, 97), name || 'z', price * 1.01 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp + 11, 97), name || 'q', price * 1.02 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp + 13, 97), name || 'r', price * 1.03 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp + 17, 97), name || 's', price * 1.03 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp + 19, 97), name || 't', price * 1.03 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp + 23, 97), name || 'u', price * 1.03 FROM item;
INSERT INTO item(grp, name, price) SELECT MOD(grp + 29, 97), name || 'v', price * 1.03 FROM item;
SELECT grp, COUNT(*), SUM(price) FROM item GROUP BY grp ORDER BY 3 DESC FETCH FIRST 3 ROWS ONLY;
SELECT COUNT(*) FROM item a JOIN item b ON b.id = a.id WHERE a.grp < 10;
SELECT name FROM item ORDER BY price DESC, name FETCH FIRST 3 ROWS ONLY;
