-- The roles of a line's history in PostgreSQL, run by the line's owner (the role that owns the
-- database "line") after `tarvel-update history --upgrade-line` has made the tables.
--
-- A station may add its own rows, bring its own running rows up to date and read the line's
-- history; it may never delete, empty or rewrite what has ended, nor add or change a row of
-- another station. Give each station a login role of its own in the group tarvel_station, and
-- pair the role with the station's name ([Station] Name=) in history_station: the policies that
-- --upgrade-line made let a role write only the rows of its station. Its password goes into that
-- station's ~/.pgpass, never into the settings:
--   CREATE ROLE station_a LOGIN PASSWORD 'choose one' IN ROLE tarvel_station;
--   INSERT INTO history_station (login, station) VALUES ('station_a', 'station-a');
CREATE ROLE tarvel_station NOLOGIN;
GRANT CONNECT ON DATABASE line TO tarvel_station;
GRANT USAGE ON SCHEMA public TO tarvel_station;
GRANT SELECT, INSERT, UPDATE ON history TO tarvel_station;
GRANT SELECT ON history_version, history_station TO tarvel_station;
-- The yield's views, for a dashboard or a spreadsheet connected with a station's role.
GRANT SELECT ON yield_per_station_day, failures_per_day TO tarvel_station;
-- No DELETE, no TRUNCATE, no table of its own.
REVOKE CREATE ON SCHEMA public FROM PUBLIC;

-- A row that has ended (its outcome is no longer "running") is never changed by a station.
CREATE FUNCTION history_keep_ended() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF OLD.outcome <> 'running' AND pg_has_role(current_user, 'tarvel_station', 'MEMBER') THEN
        RAISE EXCEPTION 'the row of exchange % has ended and is kept as it is', OLD.exchange_id;
    END IF;
    RETURN NEW;
END
$$;
CREATE TRIGGER history_keep_ended BEFORE UPDATE ON history
    FOR EACH ROW EXECUTE FUNCTION history_keep_ended();
