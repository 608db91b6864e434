-- H2 workload: inserts from a range, then a join by key, grouping, sorting and updates.
CREATE TABLE item(id INT PRIMARY KEY, grp INT, name VARCHAR(40), price DECIMAL(10,2));
INSERT INTO item SELECT x, MOD(x, 97), CONCAT('item', x), MOD(x * 7919, 1000) / 10.0
  FROM SYSTEM_RANGE(1, 100000);
CREATE INDEX item_grp ON item(grp);
SELECT grp, COUNT(*), SUM(price), MAX(name) FROM item GROUP BY grp ORDER BY SUM(price) DESC LIMIT 5;
SELECT COUNT(*) FROM item a JOIN item b ON b.id = a.id WHERE a.grp < 10;
SELECT name FROM item WHERE name LIKE '%77%' ORDER BY price, name LIMIT 5;
UPDATE item SET price = price * 1.1 WHERE MOD(id, 3) = 0;
SELECT grp, AVG(price) FROM item GROUP BY grp ORDER BY 2 DESC LIMIT 3;
